// The metrics option of the command line: /M=ADDRESS:PORT serves the
// readings for Prometheus there, /M alone on the loopback address at the
// default port.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvn {

inline constexpr int kDefaultMetricsPort = 9731;

struct MetricsRequest {
  // Where to listen, in the form "127.0.0.1:9731" or "[::1]:9731"; absent
  // when the command line holds no /M, or when problem is set.
  std::optional<std::string> listen;
  // Why a /M could not be used, as a sentence for the user.
  std::optional<std::string> problem;
};

// A numeric address to listen at.
struct ListenAddress {
  std::string host;  // "127.0.0.1", "::1" (without its brackets)
  bool ipv6 = false;
  int port = 0;
};

// "127.0.0.1:9731" or "[::1]:9731", port 0..65535 (0: the system chooses);
// absent, with the reason in why, for anything else.
std::optional<ListenAddress> ParseListenAddress(std::string_view text,
                                                std::string* why = nullptr);

// Reads the first /M of the command line, in either case, anywhere in it.
// Its value runs from the "=" to the next blank or "/"; the address is a
// numeric IPv4 address or an IPv6 address in brackets, the port 1..65535.
// A /M followed by anything but "=", a blank, "/" or the end is refused.
MetricsRequest ParseMetricsOption(std::string_view commandLine);

}  // namespace kvn
