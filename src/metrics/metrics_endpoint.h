// The HTTP endpoint Prometheus scrapes: GET /metrics, served by the
// prometheus-cpp exposer on threads of its own. It answers from what the
// window thread published and has no way to reach the board.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "metrics/metrics_option.h"

namespace prometheus {
class Collectable;
class Exposer;
}  // namespace prometheus

namespace kvn {

class MetricsEndpoint {
 public:
  // Listens at "ADDRESS:PORT" ("127.0.0.1:9731", "[::1]:9731") and serves the
  // collectable at /metrics. Absent, with the reason for the user, when the
  // address cannot be bound (the port in use, an address this machine does
  // not have).
  static std::unique_ptr<MetricsEndpoint> Listen(
      const std::string& address, std::shared_ptr<prometheus::Collectable> collectable,
      std::string* reason);

  // Closes the listening socket and waits for the requests being served.
  ~MetricsEndpoint();

  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // The port listened on (the one asked for, or the one the system chose
  // for port 0).
  int port() const { return port_; }

 private:
  MetricsEndpoint(std::unique_ptr<prometheus::Exposer> exposer,
                  std::shared_ptr<prometheus::Collectable> collectable, ListenAddress address,
                  int port);

  // The exposer holds the collectable only weakly.
  std::shared_ptr<prometheus::Collectable> collectable_;
  ListenAddress address_;
  std::unique_ptr<prometheus::Exposer> exposer_;
  int port_ = 0;
};

}  // namespace kvn
