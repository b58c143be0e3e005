// The scan writes one data record every 1.1 s while logging: building its
// data part from the readings, then the line itself, which goes to the
// file before the call returns.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "logging/log_record.h"
#include "logging/log_writer.h"

namespace {

kvn::Readings SomeReadings() {
  kvn::Readings r;
  r.temperature = kvn::Readings::Temperature{0, 51, 60, 20};
  const std::int32_t analog[] = {123, 45, 0, 255};
  for (std::size_t n = 0; n < 4; ++n) r.analog[n] = kvn::Readings::Analog{analog[n], 0};
  return r;
}

void BM_DataRecordText(benchmark::State& state) {
  const kvn::Readings readings = SomeReadings();
  for (auto _ : state) {
    std::string line = kvn::DataRecordText(readings);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_DataRecordText);

void BM_WriteDataRecord(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("kvn_log_writer_bench_" + std::to_string(getpid()) + ".Log");
  kvn::SystemLogClock clock;
  kvn::LogWriter log(clock, path.string());
  if (auto error = log.start(kvn::kDataHeader)) {
    state.SkipWithError(error->c_str());
    return;
  }
  const std::string line = kvn::DataRecordText(SomeReadings());
  for (auto _ : state) {
    if (auto error = log.record(line)) {
      state.SkipWithError(error->c_str());
      break;
    }
  }
  static_cast<void>(log.close());
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteDataRecord);

}  // namespace
