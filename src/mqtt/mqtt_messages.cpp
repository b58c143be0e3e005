#include "mqtt/mqtt_messages.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

namespace kvn {

namespace {

constexpr const char* kFormatNames[] = {"single_unipolar", "single_bipolar",
                                        "differential_unipolar", "differential_bipolar"};

const char* Bool(bool on) { return on ? "true" : "false"; }
const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

Readings::Status StatusOf(const MqttRecord& r) { return Readings::Status{r.status}; }

// Continues a UTF-8 sequence: the count of continuation bytes after lead, or
// -1 for a byte that cannot lead one.
int Continuations(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return -1;
}

}  // namespace

MqttRecord MqttRecord::From(const Readings& readings, ReadGroups groups, Readings::Time when,
                            std::uint64_t sequence) {
  MqttRecord r;
  r.unixMs = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  r.sequence = sequence;
  if (readings.status) {
    r.hasStatus = true;
    r.status = readings.status->bits;
  }
  if (readings.temperature) {
    r.hasTemperature = true;
    r.sensor = readings.temperature->sensor;
    r.current = readings.temperature->current;
    r.high = readings.temperature->high;
    r.low = readings.temperature->low;
  }
  for (std::size_t n = 0; n < r.analogValue.size(); ++n) {
    const auto& a = readings.analog[n];
    r.analogValue[n] = a ? a->value : 0;
    r.analogFormat[n] = a ? static_cast<std::int8_t>(a->format & 0x7F) : std::int8_t{-1};
  }
  r.analogRead = groups.analog;
  r.statusRead = groups.status;
  r.temperatureRead = groups.temperature;
  return r;
}

MqttTopics::MqttTopics(std::string prefixIn, std::string hostIn, std::string addressIn)
    : prefix(std::move(prefixIn)), host(std::move(hostIn)), address(std::move(addressIn)) {
  node = "kvnvb_";
  for (const std::string* part : {&host, &address}) {
    if (part == &address) node += '_';
    for (const char c : *part)
      node += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
  }
}

std::string IsoLocalTime(std::int64_t unixMs) {
  std::int64_t seconds = unixMs / 1000;
  std::int64_t millis = unixMs % 1000;
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  long offset = 0;
#if defined(_WIN32)
  localtime_s(&local, &t);
  offset = static_cast<long>(_mkgmtime(&local) - t);
#else
  localtime_r(&t, &local);
  offset = local.tm_gmtoff;
#endif
  const char sign = offset < 0 ? '-' : '+';
  const long magnitude = offset < 0 ? -offset : offset;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis), sign, magnitude / 3600,
                magnitude / 60 % 60);
  return text;
}

std::string DegreesJson(std::int32_t halfDegrees) {
  const std::int64_t h = halfDegrees;
  const std::int64_t magnitude = h < 0 ? -h : h;
  std::string text = h < 0 ? "-" : "";
  text += std::to_string(magnitude / 2);
  if (magnitude % 2 != 0) text += ".5";
  return text;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else {
      const int more = Continuations(c);
      bool whole = more >= 0 && i + static_cast<std::size_t>(more) < text.size();
      for (int k = 1; whole && k <= more; ++k)
        whole = (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0xC0) == 0x80;
      if (whole) {
        out.append(text.substr(i, static_cast<std::size_t>(more) + 1));
        i += static_cast<std::size_t>(more) + 1;
      } else {
        out += "\xEF\xBF\xBD";
        ++i;
      }
    }
  }
  out += '"';
  return out;
}

std::string RecordJson(const MqttRecord& r) {
  std::string j;
  j.reserve(900);
  j += "{\"time\":\"" + IsoLocalTime(r.unixMs) + "\",\"seq\":" + std::to_string(r.sequence);
  if (r.hasTemperature) {
    j += ",\"sensor\":" + std::to_string(r.sensor);
    j += ",\"temperature\":" + DegreesJson(r.current);
    j += ",\"high_set\":" + DegreesJson(r.high);
    j += ",\"low_set\":" + DegreesJson(r.low);
  } else {
    j += ",\"sensor\":null,\"temperature\":null,\"high_set\":null,\"low_set\":null";
  }
  if (r.hasStatus) {
    const Readings::Status s = StatusOf(r);
    j += ",\"hi\":";
    j += Bool(s.aboveHigh());
    j += ",\"lo\":";
    j += Bool(s.belowLow());
    j += ",\"input0\":";
    j += Bool(s.input0());
    j += ",\"input1\":";
    j += Bool(s.input1());
  } else {
    j += ",\"hi\":null,\"lo\":null,\"input0\":null,\"input1\":null";
  }
  j += ",\"analog\":[";
  for (std::size_t n = 0; n < r.analogValue.size(); ++n) {
    if (n > 0) j += ',';
    const int format = r.analogFormat[n];
    if (format < 0) {
      j += "null";
      continue;
    }
    j += "{\"channel\":" + std::to_string(n) + ",\"value\":" + std::to_string(r.analogValue[n]) +
         ",\"format\":" + std::to_string(format) + ",\"format_name\":";
    j += format < 4 ? JsonString(kFormatNames[format]) : std::string("null");
    j += '}';
  }
  j += "],\"read\":{\"status\":";
  j += Bool(r.statusRead);
  j += ",\"temperature\":";
  j += Bool(r.temperatureRead);
  j += ",\"analog\":[";
  bool first = true;
  for (std::size_t n = 0; n < r.analogValue.size(); ++n) {
    if (((r.analogRead >> n) & 1U) == 0) continue;
    if (!first) j += ',';
    first = false;
    j += std::to_string(n);
  }
  j += "]}}";
  return j;
}

std::vector<MqttMessage> StateMessages(const MqttTopics& topics, const MqttRecord& r) {
  std::vector<MqttMessage> out;
  out.reserve(16);
  const auto add = [&](const char* sensor, std::string payload) {
    out.push_back({topics.state(sensor), std::move(payload), true});
  };
  if (r.hasTemperature) {
    add("temperature", DegreesJson(r.current));
    add("high_set", DegreesJson(r.high));
    add("low_set", DegreesJson(r.low));
  }
  if (r.hasStatus) {
    const Readings::Status s = StatusOf(r);
    add("hi", OnOff(s.aboveHigh()));
    add("lo", OnOff(s.belowLow()));
    add("input0", OnOff(s.input0()));
    add("input1", OnOff(s.input1()));
  }
  for (std::size_t n = 0; n < r.analogValue.size(); ++n)
    if (r.analogFormat[n] >= 0)
      out.push_back(
          {topics.state("analog" + std::to_string(n)), std::to_string(r.analogValue[n]), true});
  return out;
}

std::vector<MqttMessage> DiscoveryMessages(const MqttTopics& topics) {
  const std::string device =
      "{\"identifiers\":[" + JsonString(topics.node) +
      "],\"name\":" + JsonString("Fan board " + topics.address + " on " + topics.host) +
      ",\"manufacturer\":\"korvan\",\"model\":\"PC/104 environmental fan board\"}";
  std::vector<MqttMessage> out;
  // extra: the keys of the entity's own, each as ,"key":value.
  const auto add = [&](const char* component, const std::string& object, const std::string& name,
                       const std::string& extra) {
    std::string j = "{\"name\":" + JsonString(name) +
                    ",\"unique_id\":" + JsonString(topics.node + "_" + object) +
                    ",\"state_topic\":" + JsonString(topics.state(object)) +
                    ",\"availability_topic\":" + JsonString(topics.availability()) +
                    ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"" +
                    extra + ",\"device\":" + device + "}";
    out.push_back(
        {std::string("homeassistant/") + component + "/" + topics.node + "/" + object + "/config",
         std::move(j), true});
  };
  const std::string degrees =
      ",\"device_class\":\"temperature\",\"unit_of_measurement\":\"\u00B0C\","
      "\"state_class\":\"measurement\",\"suggested_display_precision\":1";
  add("sensor", "temperature", "Temperature", degrees);
  add("sensor", "high_set", "High set point", degrees);
  add("sensor", "low_set", "Low set point", degrees);
  const std::string binary = ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\"";
  add("binary_sensor", "hi", "Above high set point", binary + ",\"device_class\":\"heat\"");
  add("binary_sensor", "lo", "Below low set point", binary + ",\"device_class\":\"cold\"");
  add("binary_sensor", "input0", "Input 0", binary);
  add("binary_sensor", "input1", "Input 1", binary);
  for (std::size_t n = 0; n < kAnalogChannels; ++n)
    add("sensor", "analog" + std::to_string(n), "Analog " + std::to_string(n),
        ",\"state_class\":\"measurement\",\"icon\":\"mdi:sine-wave\"");
  return out;
}

}  // namespace kvn
