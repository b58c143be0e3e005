// One drawing tick of the strip chart on the simulated board, with all twelve
// sources in use: the twelve reads through the driver interface, the model,
// and the repaint of the plot, both axes, the title and the legend into an
// offscreen image of the window's size. Beside it, the same plot picture
// drawn by other plotting libraries when they are installed
// (bench/chart_peers.cpp), so that the ratios come from one run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QFrame>
#include <QPainter>
#include <QRadioButton>
#include <QTemporaryDir>

#include "app/qt_platform.h"
#include "chart/strip_chart_window.h"
#include "driver/library_driver.h"

namespace {

class SilentDialogs final : public kvn::Dialogs {
 public:
  void messageBox(const std::string&, const std::string&) override {}
  std::string inputBox(const std::string&, const std::string&) override { return {}; }
};

class NoKeys final : public kvn::KeyState {
 public:
  std::int16_t GetAsyncKeyState(int) override { return 0; }
};

void BM_ChartTick(benchmark::State& state) {
  QTemporaryDir exeDir;
  kvn::LibraryDriver driver(KVN_SIM_LIBRARY);
  driver.load();
  driver.vbapp_Open(0);
  kvn::ProgramValues values;
  SilentDialogs dialogs;
  NoKeys keys;
  kvn::ChartValues chart;
  kvn::StripChartWindow window({driver, values, dialogs, keys, chart, exeDir.path().toStdString()});
  window.load();
  window.timer().stop();
  // Every source in use, and in view: the simulated board's readings lie
  // between 0 and 160.
  for (int c = 0; c < kvn::kChartSources; ++c) {
    auto& record = chart.chanTable[static_cast<std::size_t>(c)];
    record.InUse = -1;
    record.YMin = 0;
    record.YMax = 160;
  }
  window.findChild<QRadioButton*>("Ind_rad")->click();

  QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  // What a tick repaints: the inside of the four picture boxes (their
  // borders stay) and the title.
  QFrame* parts[] = {window.findChild<QFrame*>("Graph_pic"), window.findChild<QFrame*>("y_pic"),
                     window.findChild<QFrame*>("x_pic"), window.findChild<QFrame*>("graphtitle_lbl"),
                     window.findChild<QFrame*>("legend_pic")};
  for (auto _ : state) {
    window.tick();
    QPainter painter(&image);
    for (QFrame* part : parts) {
      const QRect inside = part->contentsRect();
      part->render(&painter, part->pos() + inside.topLeft(), inside, QWidget::RenderFlags());
    }
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
    benchmark::ClobberMemory();
  }
  if (window.frame().traceCount != kvn::kChartSources) state.SkipWithError("not all sources drawn");
}
BENCHMARK(BM_ChartTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kvn::ApplyPanelFont(app);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
