#include "metrics/metrics_option.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <array>
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

MetricsRequest ParseValue(std::string_view value) {
  std::string why;
  const std::optional<ListenAddress> address = ParseListenAddress(value, &why);
  if (!address || address->port == 0)
    return {std::nullopt, Refusal(value, address ? "the port must be a number from 1 to 65535" : why)};
  return {std::string(value), std::nullopt};
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string* why) {
  const auto refuse = [why](const char* reason) -> std::optional<ListenAddress> {
    if (why) *why = reason;
    return std::nullopt;
  };
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos) return refuse("it names no port");
  const std::string_view host = text.substr(0, colon);
  const std::string_view portText = text.substr(colon + 1);

  ListenAddress address;
  const char* const portEnd = portText.data() + portText.size();
  const auto [end, error] = std::from_chars(portText.data(), portEnd, address.port);
  if (portText.empty() || error != std::errc() || end != portEnd || address.port < 0 ||
      address.port > 65535)
    return refuse("the port must be a number from 1 to 65535");

  address.ipv6 = host.size() >= 2 && host.front() == '[' && host.back() == ']';
  address.host = address.ipv6 ? host.substr(1, host.size() - 2) : host;
  std::array<unsigned char, sizeof(in6_addr)> bytes{};
  if (inet_pton(address.ipv6 ? AF_INET6 : AF_INET, address.host.c_str(), bytes.data()) != 1)
    return refuse(address.ipv6 ? "the address in brackets is not an IPv6 address"
                               : "the address must be a numeric IPv4 address or an IPv6 "
                                 "address in brackets");
  return address;
}

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
