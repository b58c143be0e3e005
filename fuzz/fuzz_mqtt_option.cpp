// The MQTT option on any command line, and JSON's string form of any bytes
// (a host name goes into the discovery payloads): each must end, and what
// they give must hold together.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "mqtt/mqtt_messages.h"
#include "mqtt/mqtt_option.h"

using kvn::fuzz::Check;

namespace {

// Well-formed UTF-8 with no raw control character or lone quote.
bool IsJsonStringForm(const std::string& s) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  for (std::size_t i = 1; i + 1 < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == '"') return false;
    if (c == '\\') {
      i += 2;
      continue;
    }
    const int more = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : -1;
    if (more < 0) return false;
    for (int k = 1; k <= more; ++k) {
      const std::size_t at = i + static_cast<std::size_t>(k);
      if (at + 1 >= s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) return false;
    }
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const kvn::MqttRequest request = kvn::ParseMqttOption(text);
  Check(!(request.settings && request.problem), "both settings and a problem");
  if (request.settings) {
    const kvn::MqttSettings& s = *request.settings;
    Check(!s.host.empty(), "settings without a host");
    Check(s.port >= 1 && s.port <= 65535, "a port out of range");
    Check(s.queue >= 1 && s.queue <= kvn::kMaxMqttQueue, "a queue out of range");
    Check(s.prefix.empty() || kvn::IsTopicPrefix(s.prefix), "a prefix no topic can have");
    Check(s.tls || (s.ca.empty() && s.cert.empty() && s.key.empty()), "TLS files without TLS");
    Check(s.username.empty() && s.password.empty(), "credentials from the command line");
  }

  const std::string without = kvn::WithoutMqttValue(text);
  Check(without.size() <= text.size(), "taking the value out made the line longer");
  Check(kvn::WithoutMqttValue(without) == without, "a value left after taking it out");
  Check(kvn::ParseMqttOption(without).settings.has_value() == request.settings.has_value() ||
            request.problem.has_value(),
        "taking the value out changed whether there is a /Q");

  Check(IsJsonStringForm(kvn::JsonString(text)), "JsonString gave no JSON string");
  Check(!kvn::TopicLevel(text).empty(), "an empty topic level");
  return 0;
}
