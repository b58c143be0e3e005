// The number forms run for every value the scan shows and the log writes.
#include <benchmark/benchmark.h>

#include "common/num_forms.h"

namespace {

void BM_NumText(benchmark::State& state) {
  const double values[] = {25.5, -128, 0.5, 127.5, 1234567.125, -0.000123};
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(kvn::NumText(values[i++ % 6]));
}
BENCHMARK(BM_NumText);

void BM_NumValue(benchmark::State& state) {
  const char* texts[] = {"25.5", "-10", "&H5A", " 1 2 3", "1e3", "abc"};
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(kvn::NumValue(texts[i++ % 6]));
}
BENCHMARK(BM_NumValue);

}  // namespace
