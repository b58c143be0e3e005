#include "metrics/board_metrics.h"

#include <gtest/gtest.h>
#include <prometheus/text_serializer.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace kvn {
namespace {

std::string Exposition(const MetricValues& values) {
  return prometheus::TextSerializer().Serialize(MetricFamilies(values));
}

bool Has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

MetricValues FullSnapshot() {
  MetricValues v;
  v.boardOpen = true;
  v.address = "300";
  v.simulated = true;
  Readings& r = v.readings;
  r.status = Readings::Status{0b010010};  // above high, input 0 off, input 1 on
  r.temperature = Readings::Temperature{1, -11, 61, 40};
  r.analog[0] = Readings::Analog{123, 0};
  r.analog[8] = Readings::Analog{-2048, 3};
  const Readings::Time t{std::chrono::milliseconds(1'796'000'000'250)};
  r.statusRead = r.temperatureRead = r.analogRead = t;
  v.outputs.relay1 = true;
  v.outputs.fanForced = false;
  v.logRecords = 42;
  v.logFailed = true;
  return v;
}

TEST(BoardMetricsTest, AReadingNotTakenYetIsAbsent) {
  MetricValues v;
  v.address = "300";
  const std::string text = Exposition(v);
  EXPECT_TRUE(Has(text, "kvnvb_board_open 0"));
  EXPECT_TRUE(Has(text, "kvnvb_board_info{address=\"300\",library=\"maker\"} 1"));
  EXPECT_TRUE(Has(text, "kvnvb_log_records_total 0"));
  EXPECT_TRUE(Has(text, "kvnvb_log_failed 0"));
  for (const char* absent : {"kvnvb_temperature", "kvnvb_input", "kvnvb_analog",
                             "kvnvb_last_read", "kvnvb_relay", "kvnvb_fan", "kvnvb_thermostat"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent << " in\n" << text;
}

TEST(BoardMetricsTest, ReadingsInBaseUnitsAndFlagsFromTheStatusBits) {
  const std::string text = Exposition(FullSnapshot());
  const char* lines[] = {
      "kvnvb_board_open 1",
      "kvnvb_board_info{address=\"300\",library=\"simulated\"} 1",
      "kvnvb_temperature_celsius{sensor=\"1\"} -5.5",
      "kvnvb_temperature_high_setpoint_celsius{sensor=\"1\"} 30.5",
      "kvnvb_temperature_low_setpoint_celsius{sensor=\"1\"} 20",
      "kvnvb_temperature_above_high 1",
      "kvnvb_temperature_below_low 0",
      // Inputs count on while their bit is clear.
      "kvnvb_input{input=\"0\"} 0",
      "kvnvb_input{input=\"1\"} 1",
      "kvnvb_analog_reading{channel=\"0\",format=\"single_unipolar\"} 123",
      "kvnvb_analog_reading{channel=\"8\",format=\"differential_bipolar\"} -2048",
      "kvnvb_last_read_timestamp_seconds{group=\"status\"} 1796000000.25",
      "kvnvb_last_read_timestamp_seconds{group=\"analog\"} 1796000000.25",
      "# TYPE kvnvb_log_records_total counter",
      "kvnvb_log_records_total 42",
      "kvnvb_log_failed 1",
      // Outputs as written, and only those written.
      "kvnvb_relay_written{relay=\"1\"} 1",
      "kvnvb_fan_force_written 0",
  };
  for (const char* line : lines) EXPECT_TRUE(Has(text, line)) << line << " not in\n" << text;
  for (const char* absent : {"channel=\"1\"", "relay=\"0\"", "kvnvb_thermostat"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
}

TEST(BoardMetricsTest, ThePublisherHandsOverTheLatestSnapshot) {
  MetricsPublisher publisher;
  EXPECT_NE(prometheus::TextSerializer().Serialize(publisher.Collect()).find("kvnvb_board_open 0"),
            std::string::npos);
  publisher.publish(FullSnapshot());
  EXPECT_NE(prometheus::TextSerializer().Serialize(publisher.Collect()).find("kvnvb_board_open 1"),
            std::string::npos);
}

#ifdef KVN_PROMTOOL
// Prometheus's own linter accepts the exposition without a complaint.
TEST(BoardMetricsTest, PromtoolFindsNothingToComplainAbout) {
  const std::string path = testing::TempDir() + "kvnvb_metrics.prom";
  {
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    const std::string text = Exposition(FullSnapshot());
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const std::string command = std::string(KVN_PROMTOOL) + " check metrics < " + path + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string said;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, p)) said += buffer;
  EXPECT_EQ(pclose(p), 0) << said;
  EXPECT_EQ(said, "");
}
#endif

}  // namespace
}  // namespace kvn
