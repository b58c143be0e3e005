#include "metrics/metrics_option.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>

namespace kvn {

namespace {

bool IsOptionEnd(char c) { return c == ' ' || c == '/'; }

std::string Refusal(std::string_view value, std::string_view why) {
  return "The metrics option /M=" + std::string(value) + " cannot be used: " +
         std::string(why) +
         ". Give /M=ADDRESS:PORT, for instance /M=127.0.0.1:9731 or /M=[::1]:9731. The panel "
         "goes on without serving metrics.";
}

bool IsIpv4(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsIpv6(const std::string& text) {
  in6_addr address{};
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

MetricsRequest ParseValue(std::string_view value) {
  const auto colon = value.rfind(':');
  if (colon == std::string_view::npos) return {std::nullopt, Refusal(value, "it names no port")};
  const std::string_view host = value.substr(0, colon);
  const std::string_view portText = value.substr(colon + 1);

  int port = 0;
  const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() ||
      port < 1 || port > 65535)
    return {std::nullopt, Refusal(value, "the port must be a number from 1 to 65535")};

  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    if (!IsIpv6(std::string(host.substr(1, host.size() - 2))))
      return {std::nullopt, Refusal(value, "the address in brackets is not an IPv6 address")};
  } else if (!IsIpv4(std::string(host))) {
    return {std::nullopt,
            Refusal(value, "the address must be a numeric IPv4 address or an IPv6 address in "
                           "brackets")};
  }
  return {std::string(value), std::nullopt};
}

}  // namespace

MetricsRequest ParseMetricsOption(std::string_view commandLine) {
  for (std::size_t at = 0; at + 1 < commandLine.size(); ++at) {
    if (commandLine[at] != '/' || (commandLine[at + 1] != 'M' && commandLine[at + 1] != 'm'))
      continue;
    const std::size_t next = at + 2;
    if (next == commandLine.size() || IsOptionEnd(commandLine[next]))
      return {"127.0.0.1:" + std::to_string(kDefaultMetricsPort), std::nullopt};
    if (commandLine[next] != '=') {
      std::size_t end = next;
      while (end < commandLine.size() && !IsOptionEnd(commandLine[end])) ++end;
      return {std::nullopt, "The option " + std::string(commandLine.substr(at, end - at)) +
                                " is not understood; the metrics option is /M or "
                                "/M=ADDRESS:PORT. The panel goes on without serving metrics."};
    }
    std::size_t end = next + 1;
    while (end < commandLine.size() && !IsOptionEnd(commandLine[end])) ++end;
    return ParseValue(commandLine.substr(next + 1, end - next - 1));
  }
  return {};
}

}  // namespace kvn
