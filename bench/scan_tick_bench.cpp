// Processor time of one scan tick of the main panel on the simulated board:
// with nothing to read but the status bits, with Continuous Scan, and while
// logging a record on every tick (the busiest the tick gets).
#include <benchmark/benchmark.h>

#include <QAction>
#include <QLineEdit>

#include "bench_main.h"
#include "bench_panel.h"

namespace {

using kvn::bench::Panel;

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

int main(int argc, char** argv) { return kvn::bench::RunOffscreenBenchmarks(argc, argv); }
