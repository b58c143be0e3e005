// The scan writes one data record every 1.1 s while logging: building its
// data part from the seven readings, then the line itself, which goes to the
// file before the call returns.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "logging/log_record.h"
#include "logging/log_writer.h"

namespace {

const char* const kReadings[] = {"25.5", "30", "10", "123", "45", "0", "255"};

void BM_LogBuildRecord(benchmark::State& state) {
  for (auto _ : state) {
    std::string line;
    for (const char* value : kReadings) kvn::LogBuild(line, value);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_LogBuildRecord);

void BM_WriteDataRecord(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("kvn_log_writer_bench_" + std::to_string(getpid()) + ".Log");
  kvn::SystemLogClock clock;
  kvn::LogWriter log(clock, path.string());
  std::int16_t logState = kvn::kLogStart;
  if (!log.LoggingFunction(logState, "TempCurrent TempHighSet, TempLowSet, Analog0, Analog1, Analog2, Analog3")) {
    state.SkipWithError(log.error().c_str());
    return;
  }
  std::string line;
  for (const char* value : kReadings) kvn::LogBuild(line, value);
  for (auto _ : state) {
    if (!log.LoggingFunction(logState, line)) {
      state.SkipWithError(log.error().c_str());
      break;
    }
  }
  logState = kvn::kLogClose;
  log.LoggingFunction(logState, "");
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteDataRecord);

}  // namespace
