// What the metrics endpoint costs the panel: the scan tick with the endpoint
// on against off (Continuous Scan, the tick that publishes the most), the
// panel's share of one scrape (collecting and serializing the families), and
// a whole scrape over loopback, the client's work included.
#include <benchmark/benchmark.h>

#include <QAction>
#include <prometheus/text_serializer.h>

#include <cstdlib>
#include <string>

#include "app/metrics_service.h"
#include "bench_client.h"
#include "bench_main.h"
#include "bench_panel.h"
#include "metrics/board_metrics.h"

namespace {

using kvn::bench::FreePort;
using kvn::bench::Panel;
using kvn::bench::Scrape;

struct PanelWithMetrics {
  explicit PanelWithMetrics(bool on)
      : metrics(panel.form->scan(), panel.values, panel.driver), port(FreePort()) {
    panel.action("brdContinuousScan")->trigger();
    if (on && metrics.start("/M=127.0.0.1:" + std::to_string(port))) std::abort();
  }
  Panel panel;
  kvn::MetricsService metrics;
  int port;
};

void BM_ScanTickEndpoint(benchmark::State& state) {
  PanelWithMetrics p(state.range(0) != 0);
  for (auto _ : state) p.panel.form->scanTick();
  state.SetLabel(state.range(0) != 0 ? "endpoint on" : "endpoint off");
}
BENCHMARK(BM_ScanTickEndpoint)->Arg(0)->Arg(1);

// What the endpoint's thread does for one scrape, apart from the web server.
void BM_CollectAndSerialize(benchmark::State& state) {
  PanelWithMetrics p(false);
  p.panel.form->scanTick();
  kvn::MetricValues values;
  values.boardOpen = true;
  values.address = "300";
  values.readings = p.panel.form->scan().readings();
  values.outputs.relay0 = values.outputs.relay1 = values.outputs.fanForced = true;
  kvn::MetricsPublisher publisher;
  publisher.publish(values);
  for (auto _ : state) {
    const std::string text = prometheus::TextSerializer().Serialize(publisher.Collect());
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_CollectAndSerialize);

// One whole scrape over loopback: the process's processor time, the
// endpoint's threads and this client's together.
void BM_ScrapeOverLoopback(benchmark::State& state) {
  PanelWithMetrics p(true);
  for (int n = 0; n < 10; ++n) p.panel.form->scanTick();
  std::size_t bytes = 0;
  for (auto _ : state) bytes += Scrape(p.port).size();
  if (bytes == 0) state.SkipWithError("nothing answered");
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ScrapeOverLoopback)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return kvn::bench::RunOffscreenBenchmarks(argc, argv); }
