// One drawing tick of the strip chart on the simulated board, with all twelve
// sources in use (BM_ChartTick): the twelve reads through the driver
// interface, the model, and the window's own repaint of what the tick
// changed (the plot on every tick, the legend, the axes and the title when
// their texts change) into its backing store, the image of the window's size
// that the window system is handed. Beside it the floor of such a tick
// (BM_PixelFloor), and the same plot picture drawn by other plotting
// libraries when they are installed (bench/chart_peers.cpp), so that the
// ratios printed at the end come from one run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QBackingStore>
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QRadioButton>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <iomanip>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/qt_platform.h"
#include "chart/chart_sampling.h"
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

// The chart window on the simulated board with every source in use and in
// view (its readings lie between 0 and 160), in Independent operation, shown
// as a ticking chart always is.
class ChartBench {
 public:
  ChartBench() {
    driver_.load();
    driver_.vbapp_Open(0);
    window_.load();
    window_.timer().stop();
    for (auto& record : chart_.chanTable) {
      record.InUse = -1;
      record.YMin = 0;
      record.YMax = 160;
    }
    window_.findChild<QRadioButton*>("Ind_rad")->click();
    window_.show();
    QApplication::processEvents();
  }

  // Paints what the last tick marked for repainting, as the event loop does
  // when it next runs; returns the backing store's image.
  const QImage& repaint() {
    QCoreApplication::sendPostedEvents();
    return backingStore();
  }
  // The raster backing store's paint device is an image.
  const QImage& backingStore() {
    return *dynamic_cast<QImage*>(window_.backingStore()->paintDevice());
  }

  kvn::BoardDriver& driver() { return driver_; }
  kvn::ProgramValues& values() { return values_; }
  kvn::StripChartWindow& window() { return window_; }

  // What a tick can repaint: the inside of the four picture boxes (their
  // borders stay) and the title.
  std::array<QFrame*, 5> parts() {
    return {window_.findChild<QFrame*>("Graph_pic"), window_.findChild<QFrame*>("y_pic"),
            window_.findChild<QFrame*>("x_pic"), window_.findChild<QFrame*>("graphtitle_lbl"),
            window_.findChild<QFrame*>("legend_pic")};
  }

  // The same five areas in the window's coordinates, each with its
  // background: white for the plot, the palette's window colour otherwise.
  struct Area {
    QRect rect;
    QRgb ground;
  };
  std::vector<Area> areas() {
    std::vector<Area> out;
    for (QFrame* part : parts()) {
      const QRect inside = part->contentsRect();
      const bool plot = part->objectName() == QLatin1String("Graph_pic");
      out.push_back({inside.translated(part->pos()),
                     plot ? qRgb(255, 255, 255) : part->palette().color(QPalette::Window).rgb()});
    }
    return out;
  }

 private:
  QTemporaryDir exeDir_;
  kvn::LibraryDriver driver_{KVN_SIM_LIBRARY};
  kvn::ProgramValues values_;
  SilentDialogs dialogs_;
  NoKeys keys_;
  kvn::ChartValues chart_;
  kvn::StripChartWindow window_{
      {driver_, values_, dialogs_, keys_, chart_, exeDir_.path().toStdString()}};
};

void BM_ChartTick(benchmark::State& state) {
  ChartBench bench;
  for (auto _ : state) {
    bench.window().tick();
    benchmark::DoNotOptimize(bench.repaint().constBits());
    benchmark::ClobberMemory();
  }
  if (bench.window().frame().traceCount != kvn::kChartSources)
    state.SkipWithError("not all sources drawn");
}
BENCHMARK(BM_ChartTick)->Unit(benchmark::kMicrosecond);

// The same tick with all five areas it can repaint repainted, as when every
// text changed or the window was uncovered: the one to set beside the floor.
void BM_ChartTickAllAreas(benchmark::State& state) {
  ChartBench bench;
  const auto parts = bench.parts();
  for (auto _ : state) {
    bench.window().tick();
    for (QFrame* part : parts) part->update(part->contentsRect());
    benchmark::DoNotOptimize(bench.repaint().constBits());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ChartTickAllAreas)->Unit(benchmark::kMicrosecond);

// What no drawing tick can avoid, with nothing drawn: the twelve reads
// through the driver interface, and every pixel of the five areas a tick can
// repaint written once, each area cleared to its background in an image of
// its device size and copied through one painter into an image of the
// backing store's size and format, as a picture drawn apart is put into the
// window. Left out is everything that makes the picture: the model (the
// samples' rings, the scaling, the texts), the grid and the traces, the
// texts' glyphs, and the widgets' paint events, clips and painters. A tick
// that shows all twelve readings and repaints its five areas so must do at
// least this much, so this is its floor.
void BM_PixelFloor(benchmark::State& state) {
  ChartBench bench;
  const QImage& store = bench.backingStore();
  QImage window(store.size(), store.format());
  const qreal dpr = store.devicePixelRatio();
  window.setDevicePixelRatio(dpr);
  std::vector<QImage> images;
  const auto areas = bench.areas();
  for (const auto& area : areas) {
    images.emplace_back(area.rect.size() * dpr, QImage::Format_RGB32);
    images.back().setDevicePixelRatio(dpr);
  }
  for (auto _ : state) {
    for (int n = 0; n < kvn::kChartSources; ++n)
      benchmark::DoNotOptimize(kvn::ReadChartValue(bench.driver(), bench.values(), n));
    QPainter painter(&window);
    for (std::size_t i = 0; i < areas.size(); ++i) {
      images[i].fill(areas[i].ground);
      painter.drawImage(areas[i].rect.topLeft(), images[i]);
    }
    painter.end();
    benchmark::DoNotOptimize(window.constBits());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PixelFloor)->Unit(benchmark::kMicrosecond);

// A lower floor still, for a tick that draws its areas in place, as the plot
// is drawn straight into the backing store: the twelve reads, and every
// pixel of the five areas written once, cleared where it lies in an image of
// the backing store's size and format.
void BM_PixelFloorInPlace(benchmark::State& state) {
  ChartBench bench;
  const QImage& store = bench.backingStore();
  QImage window(store.size(), store.format());
  const qreal dpr = store.devicePixelRatio();
  const auto areas = bench.areas();
  const auto stride = static_cast<std::size_t>(window.bytesPerLine() / 4);
  for (auto _ : state) {
    for (int n = 0; n < kvn::kChartSources; ++n)
      benchmark::DoNotOptimize(kvn::ReadChartValue(bench.driver(), bench.values(), n));
    auto* pixels = reinterpret_cast<QRgb*>(window.bits());
    for (const auto& area : areas) {
      const QRect device(area.rect.topLeft() * dpr, area.rect.size() * dpr);
      QRgb* row = pixels + static_cast<std::size_t>(device.top()) * stride +
                  static_cast<std::size_t>(device.left());
      for (int y = 0; y < device.height(); ++y, row += stride)
        std::fill(row, row + device.width(), area.ground);
    }
    benchmark::DoNotOptimize(window.constBits());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PixelFloorInPlace)->Unit(benchmark::kMicrosecond);

// The console's table, then the ratios, from the medians when the run was
// repeated.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[name] = run.GetAdjustedRealTime();
      } else if (run.run_type == Run::RT_Iteration && run.repetitions <= 1) {
        singles_[name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::ostream& out = GetOutputStream();
    const char* basis = medians_.empty() ? "single runs" : "medians";
    const auto ratio = [&](const char* what, const std::string& a, const std::string& b) {
      const auto& times = medians_.empty() ? singles_ : medians_;
      const auto x = times.find(a), y = times.find(b);
      if (x == times.end() || y == times.end() || y->second <= 0) return;
      out << std::left << std::setw(34) << what << std::fixed << std::setprecision(2)
          << x->second / y->second << "  (" << basis << ")\n";
    };
    ratio("tick / floor", "BM_ChartTick", "BM_PixelFloor");
    ratio("tick, all areas / floor", "BM_ChartTickAllAreas", "BM_PixelFloor");
    ratio("tick / floor in place", "BM_ChartTick", "BM_PixelFloorInPlace");
    ratio("tick, all areas / floor in place", "BM_ChartTickAllAreas", "BM_PixelFloorInPlace");
    ratio("QCustomPlot's picture / tick", "BM_QCustomPlotPicture", "BM_ChartTick");
    ratio("Qt Charts' picture / tick", "BM_QtChartsPicture", "BM_ChartTick");
    ratio("QCustomPlot's / tick, all areas", "BM_QCustomPlotPicture", "BM_ChartTickAllAreas");
    ratio("Qt Charts' / tick, all areas", "BM_QtChartsPicture", "BM_ChartTickAllAreas");
  }

 private:
  std::map<std::string, double> medians_, singles_;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kvn::ApplyPanelFont(app);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
