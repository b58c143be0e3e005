#include "metrics/board_metrics.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <initializer_list>
#include <optional>
#include <utility>

namespace kvn {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;
using Labels = std::vector<ClientMetric::Label>;

// The input formats of the analog inputs, as label values.
constexpr const char* kFormatNames[kAnalogFormats] = {
    "single_unipolar", "single_bipolar", "differential_unipolar", "differential_bipolar"};

std::string FormatName(std::int32_t format) {
  return format >= 0 && format < kAnalogFormats ? kFormatNames[format] : std::to_string(format);
}

double Degrees(std::int32_t halfDegrees) { return halfDegrees / 2.0; }

double Seconds(Readings::Time time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

class Families {
 public:
  // A family with no samples is left out, as Prometheus expects of a value
  // not known yet.
  MetricFamily& family(const char* name, const char* help, MetricType type = MetricType::Gauge) {
    families_.push_back({name, help, type, {}});
    return families_.back();
  }

  static void add(MetricFamily& family, double value, Labels labels = {}) {
    ClientMetric metric;
    metric.label = std::move(labels);
    if (family.type == MetricType::Counter)
      metric.counter.value = value;
    else
      metric.gauge.value = value;
    family.metric.push_back(std::move(metric));
  }

  std::vector<MetricFamily> take() && {
    std::vector<MetricFamily> taken;
    taken.reserve(families_.size());
    for (MetricFamily& f : families_)
      if (!f.metric.empty()) taken.push_back(std::move(f));
    return taken;
  }

 private:
  // A deque keeps the families where they are as more are added.
  std::deque<MetricFamily> families_;
};

void AddOutputs(Families& out, const BoardOutputs& o) {
  auto& thermostats = out.family(
      "kvnvb_thermostat_disable_written",
      "1 when the panel last wrote this thermostat disabled, 0 enabled; as written, not read back");
  for (const auto& [name, state] : {std::pair{"high", o.highThermostatDisabled},
                                    std::pair{"low", o.lowThermostatDisabled}})
    if (state) Families::add(thermostats, *state ? 1 : 0, {{"thermostat", name}});

  auto& relays = out.family("kvnvb_relay_written",
                            "1 when the panel last wrote this relay on, 0 off; as written, not "
                            "read back");
  for (const auto& [name, state] : {std::pair{"0", o.relay0}, std::pair{"1", o.relay1}})
    if (state) Families::add(relays, *state ? 1 : 0, {{"relay", name}});

  auto& fan = out.family("kvnvb_fan_force_written",
                         "1 when the panel last wrote Force Fan On, 0 when it cleared it; as "
                         "written, not read back");
  if (o.fanForced) Families::add(fan, *o.fanForced ? 1 : 0);
}

}  // namespace

std::vector<MetricFamily> MetricFamilies(const MetricValues& v) {
  Families out;
  const Readings& r = v.readings;

  Families::add(out.family("kvnvb_board_open", "1 while the board is properly opened, else 0"),
                v.boardOpen ? 1 : 0);
  Families::add(out.family("kvnvb_board_info",
                           "The board's bus address and the driver library in use"),
                1, {{"address", v.address}, {"library", v.simulated ? "simulated" : "maker"}});

  if (const auto& t = r.temperature) {
    const Labels sensor{{"sensor", std::to_string(t->sensor)}};
    Families::add(out.family("kvnvb_temperature_celsius", "The sensor's current temperature"),
                  Degrees(t->current), sensor);
    Families::add(out.family("kvnvb_temperature_high_setpoint_celsius",
                             "The sensor's high set point"),
                  Degrees(t->high), sensor);
    Families::add(out.family("kvnvb_temperature_low_setpoint_celsius",
                             "The sensor's low set point"),
                  Degrees(t->low), sensor);
  }
  if (const auto& s = r.status) {
    Families::add(out.family("kvnvb_temperature_above_high",
                             "1 while the board reports the temperature above the high set point"),
                  s->aboveHigh() ? 1 : 0);
    Families::add(out.family("kvnvb_temperature_below_low",
                             "1 while the board reports the temperature below the low set point"),
                  s->belowLow() ? 1 : 0);
    auto& inputs = out.family("kvnvb_input", "1 while the board's input is on, else 0");
    Families::add(inputs, s->input0() ? 1 : 0, {{"input", "0"}});
    Families::add(inputs, s->input1() ? 1 : 0, {{"input", "1"}});
  }

  auto& analog = out.family("kvnvb_analog_reading",
                            "The analog input's latest raw reading, in the input format it was "
                            "read in");
  for (std::size_t n = 0; n < r.analog.size(); ++n)
    if (const auto& a = r.analog[n])
      Families::add(analog, a->value,
                    {{"channel", std::to_string(n)}, {"format", FormatName(a->format)}});

  auto& read = out.family("kvnvb_last_read_timestamp_seconds",
                          "When the group of readings was last read from the board");
  for (const auto& [group, time] : {std::pair{"status", r.statusRead},
                                    std::pair{"temperature", r.temperatureRead},
                                    std::pair{"analog", r.analogRead}})
    if (time) Families::add(read, Seconds(*time), {{"group", group}});

  AddOutputs(out, v.outputs);

  Families::add(out.family("kvnvb_log_records_total",
                           "Data records written to the log since the program started",
                           MetricType::Counter),
                static_cast<double>(v.logRecords));
  Families::add(out.family("kvnvb_log_failed", "1 after a write to the log failed, else 0"),
                v.logFailed ? 1 : 0);
  return std::move(out).take();
}

bool MetricsPublisher::publish(const MetricValues& values) {
  const std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  values_ = values;
  return true;
}

std::vector<MetricFamily> MetricsPublisher::Collect() const {
  std::unique_lock lock(mutex_);
  const MetricValues values = values_;
  lock.unlock();
  return MetricFamilies(values);
}

}  // namespace kvn
