// The HTTP endpoint Prometheus scrapes: GET /metrics, served by libmicrohttpd
// on one thread of its own that waits on every connection at once, so that
// connections which stay silent or send slowly cost memory, not scrapes. It
// answers from what the window thread published and has no way to reach the
// board.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct MHD_Daemon;

namespace prometheus {
class Collectable;
}  // namespace prometheus

namespace kvn {

class MetricsEndpoint {
 public:
  // How many connections it holds at once (fewer where the process may not
  // open that many files), how long a connection may stay silent, and how
  // large a request may grow.
  static constexpr unsigned kConnectionLimit = 2048;
  static constexpr unsigned kIdleSeconds = 2;
  static constexpr std::size_t kRequestMemory = 16 * 1024;

  // Listens at "ADDRESS:PORT" ("127.0.0.1:9731", "[::1]:9731") and serves the
  // collectable at /metrics. Absent, with the reason for the user, when the
  // address cannot be bound (the port in use, an address this machine does
  // not have).
  static std::unique_ptr<MetricsEndpoint> Listen(
      const std::string& address, std::shared_ptr<prometheus::Collectable> collectable,
      std::string* reason);

  // Closes the listening socket and every connection, after the request
  // being answered.
  ~MetricsEndpoint();

  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // The port listened on (the one asked for, or the one the system chose
  // for port 0).
  int port() const { return port_; }

  // The connections it holds at most, as the process's file limit allowed.
  unsigned connectionLimit() const { return connectionLimit_; }

  // What the server's thread answers to one request; public for that thread.
  struct Answerer;

 private:
  MetricsEndpoint() = default;

  std::unique_ptr<Answerer> answerer_;
  MHD_Daemon* daemon_ = nullptr;
  int port_ = 0;
  unsigned connectionLimit_ = 0;
};

}  // namespace kvn
