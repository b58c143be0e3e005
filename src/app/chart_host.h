// Opens the strip chart window beside the main panel and closes it when the
// program quits.
#pragma once

#include <QObject>
#include <QPointer>

#include "chart/chart_context.h"
#include "chart/strip_chart_window.h"

class QWidget;

namespace kvn {

class ChartHost : public QObject {
  Q_OBJECT

 public:
  // The chart opens beside mainWindow.
  ChartHost(ChartContext context, QWidget& mainWindow);
  ~ChartHost() override;

  // Creates and loads the window when it is not open, then shows it and
  // brings it forward; an open window is not reset.
  void open();

  // Closes the chart window (and whatever it opened); its timer stops at once.
  void closeAll();

  StripChartWindow* window() const { return window_; }

 private:
  ChartContext ctx_;
  QWidget& mainWindow_;
  QPointer<StripChartWindow> window_;
};

}  // namespace kvn
