// What MQTT costs the panel: the scan tick with /Q against without it, with
// a record on every tick (logging period 0, Continuous Scan, no log), both
// while the broker is away (records wait in the queue) and with a real
// Mosquitto on loopback taking them; and the memory of a full queue.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <string>

#include "app/mqtt_service.h"
#include "bench_client.h"
#include "bench_main.h"
#include "bench_panel.h"
#include "mqtt/mqtt_link.h"

namespace {

using kvn::bench::FreePort;
using kvn::bench::Panel;

// Debian's broker on loopback, for as long as the object lives.
struct Broker {
  Broker() : port(FreePort()) {
    process.start("mosquitto", {"-p", QString::number(port)});
    if (!process.waitForStarted()) std::abort();
    QThread::msleep(300);
  }
  ~Broker() {
    process.kill();
    process.waitForFinished();
  }
  int port;
  QProcess process;
};

enum Mode { kOff = 0, kBrokerAway = 1, kBrokerTakes = 2 };

void BM_ScanTickMqtt(benchmark::State& state) {
  const auto mode = static_cast<Mode>(state.range(0));
  std::unique_ptr<Broker> broker;
  if (mode == kBrokerTakes) broker = std::make_unique<Broker>();
  Panel panel;
  panel.action("brdContinuousScan")->trigger();
  panel.form->setLogTimeText(QStringLiteral("0"));
  kvn::MqttService mqtt(*panel.form, panel.values);
  if (mode != kOff) {
    const int port = broker ? broker->port : FreePort();
    if (mqtt.prepare("/Q=mqtt://127.0.0.1:" + std::to_string(port) + "?discovery=off", nullptr) ||
        mqtt.start("bench"))
      std::abort();
    if (broker)
      while (!mqtt.link()->counts().connected) QThread::msleep(10);
  }
  for (auto _ : state) panel.form->scanTick();
  if (mode != kOff) {
    const kvn::MqttLink::Counts counts = mqtt.link()->counts();
    state.counters["delivered"] = static_cast<double>(counts.delivered);
  }
  mqtt.stop();
  static const char* const kLabels[] = {"without /Q", "/Q, broker away", "/Q, broker takes them"};
  state.SetLabel(kLabels[mode]);
}
BENCHMARK(BM_ScanTickMqtt)->Arg(kOff)->Arg(kBrokerAway)->Arg(kBrokerTakes);

// What /Q adds to a record's tick by itself: the record made from the
// readings and copied into the queue (the broker away, so nothing drains it
// meanwhile; the queue at its default bound drops the oldest).
void BM_RecordIntoQueue(benchmark::State& state) {
  kvn::MqttSettings settings;
  settings.host = "127.0.0.1";
  settings.port = FreePort();
  settings.url = "mqtt://127.0.0.1:" + std::to_string(settings.port);
  kvn::MqttLink link(settings, kvn::MqttTopics("kvnvb/bench", "bench", "300"));
  if (link.start()) std::abort();
  kvn::Readings readings;
  readings.status = kvn::Readings::Status{0};
  readings.temperature = kvn::Readings::Temperature{0, 50, 60, 40};
  for (auto& a : readings.analog) a = kvn::Readings::Analog{100, 0};
  const kvn::ReadGroups groups{.status = true, .temperature = true, .analog = 0x1FF};
  std::uint64_t n = 0;
  for (auto _ : state)
    link.push(kvn::MqttRecord::From(readings, groups, kvn::Readings::Time(), ++n));
  link.stop();
}
BENCHMARK(BM_RecordIntoQueue);

// The heap a full queue takes: the default bound of records while the
// broker is away.
void BM_FullQueueMemory(benchmark::State& state) {
  const auto records = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    kvn::MqttSettings settings;
    settings.host = "127.0.0.1";
    settings.port = FreePort();
    settings.url = "mqtt://127.0.0.1:" + std::to_string(settings.port);
    settings.queue = records;
    kvn::MqttLink link(settings, kvn::MqttTopics("kvnvb/bench", "bench", "300"));
    if (link.start()) std::abort();
    kvn::Readings readings;
    readings.status = kvn::Readings::Status{0};
    readings.temperature = kvn::Readings::Temperature{0, 50, 60, 40};
    for (auto& a : readings.analog) a = kvn::Readings::Analog{100, 0};
    const std::size_t before = mallinfo2().uordblks;
    for (std::size_t n = 1; n <= records; ++n)
      link.push(kvn::MqttRecord::From(readings, {}, kvn::Readings::Time(), n));
    const std::size_t after = mallinfo2().uordblks;
    state.counters["MiB"] = static_cast<double>(after - before) / (1024.0 * 1024.0);
    state.counters["bytes_per_record"] =
        static_cast<double>(after - before) / static_cast<double>(records);
    link.stop();
  }
}
BENCHMARK(BM_FullQueueMemory)
    ->Arg(static_cast<std::int64_t>(kvn::kDefaultMqttQueue))
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return kvn::bench::RunOffscreenBenchmarks(argc, argv); }
