// Opens the strip chart window beside the main panel when its Graph box asks,
// and closes it when the program quits, before the board is closed.
#pragma once

#include <QObject>
#include <QPointer>

#include "chart/chart_context.h"
#include "chart/strip_chart_window.h"

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

  // Closes the chart window (and whatever it opened); its timer stops at once.
  void closeAll();

  StripChartWindow* window() const { return window_; }

 private:
  ChartContext ctx_;
  EnvForm& form_;
  QPointer<StripChartWindow> window_;
};

}  // namespace kvn
