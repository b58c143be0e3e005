// The main of the panel's benchmark programs: the offscreen platform, a
// QApplication for the windows, then Google Benchmark.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

namespace kvn::bench {

inline int RunOffscreenBenchmarks(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace kvn::bench
