// The board's readings as Prometheus metrics. The window thread publishes a
// snapshot of plain values after each scan tick; the endpoint's own threads
// turn the latest snapshot into metric families when a scrape asks for them,
// and never touch the board.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include "shared/program_values.h"
#include "shared/readings.h"

namespace kvn {

// Everything a scrape shows, as the window thread last published it.
struct MetricValues {
  bool boardOpen = false;
  // The bus address as the panel's address list shows it ("&H300").
  std::string address;
  bool simulated = false;
  Readings readings;
  BoardOutputs outputs;
  std::uint64_t logRecords = 0;
  bool logFailed = false;
};

// The metric families of one snapshot: a reading not taken yet is left out.
std::vector<prometheus::MetricFamily> MetricFamilies(const MetricValues& values);

// The hand-over between the window thread (publish) and the endpoint's
// threads (Collect).
class MetricsPublisher : public prometheus::Collectable {
 public:
  // Never waits: while a scrape is taking its copy, the values are not
  // taken (false), and the next tick's publish brings them.
  bool publish(const MetricValues& values);
  std::vector<prometheus::MetricFamily> Collect() const override;

 private:
  mutable std::mutex mutex_;
  MetricValues values_;
};

}  // namespace kvn
