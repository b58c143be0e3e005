// The strip chart window: its inventory comes from the Designer form; this
// class holds the handlers of its controls and the drawing timer. The chart's
// state and arithmetic are in StripChartModel; each tick hands the frame it
// prepares to the painting areas.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "chart/chart_context.h"
#include "chart/chart_model.h"
#include "widgets/tick_timer.h"

namespace Ui {
class StripChart_frm;
}

namespace kvn {

class StripChartWindow : public QWidget {
  Q_OBJECT

 public:
  explicit StripChartWindow(ChartContext context, QWidget* parent = nullptr);
  ~StripChartWindow() override;

  // The load steps: the channel table from Settings.txt, the lists, one
  // reading of every source across the chart, Global operation, and the
  // drawing timer started.
  void load();

  // One tick of Timer1: read every source, then draw the whole chart.
  void tick();

  TickTimer& timer() { return Timer1_; }
  bool scaleLinked() const { return scaleLinked_; }
  const StripChartModel& model() const { return *model_; }
  const ChartFrame& frame() const { return frame_; }

 signals:
  // The Settings button, after it has chosen the record to edit (editChan).
  void settingsRequested();
  // The window is closing; its timer has stopped.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void connectHandlers();
  void onSourceListClick();
  void onSettingsClick();
  void onStopClick();
  // Starts or stops the drawing timer; the Stop button names what it does next.
  void setRunning(bool running);
  void onSettingsSave();
  void onExport();
  void updateLegend();
  double readSource(int n);

  std::unique_ptr<Ui::StripChart_frm> ui_;
  ChartContext ctx_;
  TickTimer Timer1_;
  std::unique_ptr<StripChartModel> model_;
  StripChartModel::Reader reader_;
  ChartFrame frame_;
  std::string shownTitle_;
  bool listsLoading_ = false;
  bool scaleLinked_ = false;
};

}  // namespace kvn
