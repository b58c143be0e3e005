// Opens the strip chart window beside the main panel when its Graph box asks,
// and the one channel settings dialog when the chart's Settings button asks;
// closes both when the program quits, before the board is closed.
#pragma once

#include <QObject>
#include <QPointer>

#include "chart/chart_context.h"
#include "chart/strip_chart_window.h"
#include "chart_settings/settings_dialog.h"

namespace kvn {

class EnvForm;
class Lifecycle;

class ChartHost : public QObject {
  Q_OBJECT

 public:
  // Answers the form's Graph box and the lifecycle's Quit. The chart opens
  // beside the form.
  ChartHost(ChartContext context, EnvForm& form, Lifecycle& lifecycle);
  ~ChartHost() override;

  // Creates and loads the window when it is not open, then shows it and
  // brings it forward; an open window is not reset.
  void open();

  // Loads the settings dialog for the record the chart chose (editChan) and
  // shows it over the chart. An open dialog is only brought forward: it keeps
  // the record it was opened for.
  void openSettings();

  // Closes the chart window and the settings dialog; the chart's timer stops
  // at once, and the dialog puts back what Ok did not keep.
  void closeAll();

  StripChartWindow* window() const { return window_; }
  SettingsDialog* settings() const { return settings_; }

 private:
  ChartContext ctx_;
  EnvForm& form_;
  QPointer<StripChartWindow> window_;
  QPointer<SettingsDialog> settings_;
};

}  // namespace kvn
