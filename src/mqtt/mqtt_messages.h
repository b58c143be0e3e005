// What the program publishes over MQTT, as topics and payloads: one message
// per record (JSON), a retained state topic per sensor, the availability
// topic, and Home Assistant's discovery configurations. Free of the network.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/board_codes.h"
#include "shared/readings.h"

namespace kvn {

// One record as the queue keeps it: small, since a day of them may wait for
// the broker.
struct MqttRecord {
  std::int64_t unixMs = 0;     // when its tick read the board
  std::uint64_t sequence = 0;  // 1, 2, ... from the program's start
  std::int32_t status = 0;
  std::int32_t sensor = 0;
  std::int32_t current = 0;  // half degrees, as Readings::Temperature
  std::int32_t high = 0;
  std::int32_t low = 0;
  std::array<std::int32_t, kAnalogChannels> analogValue{};
  // The input format of each analog reading; -1 while the input was never read.
  std::array<std::int8_t, kAnalogChannels> analogFormat{};
  // Bit n: analog input n was read by the record's tick.
  std::uint16_t analogRead = 0;
  bool hasStatus = false;
  bool hasTemperature = false;
  bool statusRead = false;
  bool temperatureRead = false;

  static MqttRecord From(const Readings& readings, ReadGroups groups, Readings::Time when,
                         std::uint64_t sequence);
};

struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retain = false;
};

// Where a board's messages go and how it is named.
struct MqttTopics {
  // prefix: the topic prefix; host: the computer's name; address: the bus
  // address as the address list shows it ("300").
  MqttTopics(std::string prefix, std::string host, std::string address);

  std::string prefix;
  std::string host;
  std::string address;
  // The device's identifier: kvnvb_<host>_<address>, letters, digits and "_".
  std::string node;

  std::string record() const { return prefix + "/record"; }
  std::string availability() const { return prefix + "/availability"; }
  std::string state(const std::string& sensor) const { return prefix + "/state/" + sensor; }
};

inline constexpr const char* kOnline = "online";
inline constexpr const char* kOffline = "offline";

// The time in ISO 8601 with the local offset: "2026-12-10T09:15:03.100+01:00".
std::string IsoLocalTime(std::int64_t unixMs);

// Half degrees as degrees, a JSON number: 51 gives "25.5", -1 "-0.5".
std::string DegreesJson(std::int32_t halfDegrees);

// The record's message (JSON, QoS 1, not retained):
// {"time":..., "seq":N, "sensor":S, "temperature":25.5, "high_set":30,
//  "low_set":-0.5, "hi":false, "lo":false, "input0":true, "input1":false,
//  "analog":[{"channel":0,"value":123,"format":0,"format_name":"Single,
//  Unipolar"}, null, ...], "read":{"status":true,"temperature":true,
//  "analog":[0,1,...]}}; a reading not taken yet is null.
std::string RecordJson(const MqttRecord& record);

// The retained state of each sensor the record holds: temperature, high_set,
// low_set (degrees), hi, lo, input0, input1 ("ON"/"OFF"), analog0..analog8.
std::vector<MqttMessage> StateMessages(const MqttTopics& topics, const MqttRecord& record);

// Home Assistant's discovery configurations, retained, under
// homeassistant/sensor/<node>/... and homeassistant/binary_sensor/<node>/...:
// the temperature and set points, Hi, Lo, the two inputs and the nine analog
// channels, one device per board.
std::vector<MqttMessage> DiscoveryMessages(const MqttTopics& topics);

// JSON's string form of text, quotes included; bytes below 0x20, quotes and
// backslashes escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace kvn
