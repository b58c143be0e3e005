// Processor time of one scan tick of the main panel on the simulated board:
// with nothing to read but the status bits, with Continuous Scan, and while
// logging a record on every tick (the busiest the tick gets).
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>

#include "app/qt_platform.h"
#include "driver/library_driver.h"
#include "panel/env_form.h"

namespace {

class SilentDialogs final : public kvn::Dialogs {
 public:
  void messageBox(const std::string&, const std::string&) override {}
  std::string inputBox(const std::string&, const std::string&) override { return {}; }
};

struct Panel {
  Panel() : driver(KVN_SIM_LIBRARY) {
    driver.load();
    driver.vbapp_Open(0);
    values.appDir = dir.path().toStdString();
    form = std::make_unique<kvn::EnvForm>(kvn::PanelContext{driver, values, dialogs, clock});
  }
  QAction* action(const char* name) { return form->findChild<QAction*>(name); }

  QTemporaryDir dir;
  kvn::LibraryDriver driver;
  kvn::ProgramValues values;
  SilentDialogs dialogs;
  kvn::SystemClock clock;
  std::unique_ptr<kvn::EnvForm> form;
};

void BM_ScanTickIdle(benchmark::State& state) {
  Panel p;
  for (auto _ : state) p.form->scanTick();
}
BENCHMARK(BM_ScanTickIdle);

void BM_ScanTickContinuousScan(benchmark::State& state) {
  Panel p;
  p.action("brdContinuousScan")->trigger();
  for (auto _ : state) p.form->scanTick();
}
BENCHMARK(BM_ScanTickContinuousScan);

void BM_ScanTickLoggingEveryTick(benchmark::State& state) {
  Panel p;
  p.form->findChild<QLineEdit*>("logTime")->setText("0");
  p.action("brdLogging")->trigger();
  for (auto _ : state) p.form->scanTick();
}
BENCHMARK(BM_ScanTickLoggingEveryTick);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
