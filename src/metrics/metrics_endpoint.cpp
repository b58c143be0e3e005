#include "metrics/metrics_endpoint.h"

#include <CivetServer.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <prometheus/exposer.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace kvn {

namespace {

// A scrape request arrives at once and is small; whatever stalls or grows
// is cut off rather than allowed to hold one of the few threads.
const std::vector<std::string> kServerOptions = {
    "num_threads",         "4",
    "request_timeout_ms",  "2000",
    "max_request_size",    "8192",
    "enable_keep_alive",   "no",
};

// civetweb's feature bit of IPv6 listening ports.
constexpr unsigned kIpv6Feature = 8;

// The socket address of the listening address, at the port given.
void SocketAddress(const ListenAddress& address, int port, sockaddr_storage& storage,
                   socklen_t& length) {
  storage = {};
  if (address.ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET6, address.host.c_str(), &a->sin6_addr);
    length = sizeof(sockaddr_in6);
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.host.c_str(), &a->sin_addr);
    length = sizeof(sockaddr_in);
  }
}

// Why the address cannot be bound, as the system tells it: the web server
// only says that it failed. The socket is let go at once.
std::string BindError(const ListenAddress& address) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  SocketAddress(address, address.port, storage, length);
  const int fd = socket(storage.ss_family, SOCK_STREAM, 0);
  if (fd < 0) return std::strerror(errno);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  std::string error;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0)
    error = std::strerror(errno);
  close(fd);
  return error;
}

// One connection to the endpoint, closed at once: it wakes the server's
// accept loop, which otherwise notices a stop only every two seconds. The
// server reads the end of the stream and lets it go.
void Knock(const ListenAddress& address, int port) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  SocketAddress(address, port, storage, length);
  // An endpoint on every address of the machine is reached on loopback.
  if (storage.ss_family == AF_INET) {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    if (a->sin_addr.s_addr == htonl(INADDR_ANY)) a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  } else {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    if (IN6_IS_ADDR_UNSPECIFIED(&a->sin6_addr)) a->sin6_addr = in6addr_loopback;
  }
  const int fd = socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  connect(fd, reinterpret_cast<const sockaddr*>(&storage), length);
  close(fd);
}

}  // namespace

MetricsEndpoint::MetricsEndpoint(std::unique_ptr<prometheus::Exposer> exposer,
                                 std::shared_ptr<prometheus::Collectable> collectable,
                                 ListenAddress address, int port)
    : collectable_(std::move(collectable)), address_(std::move(address)),
      exposer_(std::move(exposer)), port_(port) {}

MetricsEndpoint::~MetricsEndpoint() {
  // The server stops once its accept loop sees the stop; knock until then.
  std::atomic<bool> stopped = false;
  std::thread knocker([&] {
    while (!stopped) {
      Knock(address_, port_);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  exposer_.reset();
  stopped = true;
  knocker.join();
}

std::unique_ptr<MetricsEndpoint> MetricsEndpoint::Listen(
    const std::string& address, std::shared_ptr<prometheus::Collectable> collectable,
    std::string* reason) {
  const auto refuse = [&](const std::string& why) {
    if (reason) {
      *reason = "The metrics endpoint could not listen at " + address + ": " + why +
                ". The panel goes on without serving metrics.";
    }
    return nullptr;
  };
  const std::optional<ListenAddress> parsed = ParseListenAddress(address);
  if (!parsed) return refuse("it is not a numeric address and port");
  if (parsed->ipv6 && mg_check_feature(kIpv6Feature) == 0)
    return refuse("this system's web server library (civetweb) was built without IPv6; give "
                  "an IPv4 address such as 127.0.0.1");

  std::vector<std::string> options = kServerOptions;
  options.insert(options.end(), {"listening_ports", address});
  // The server writes nothing of its own to standard error.
  CivetCallbacks callbacks;
  callbacks.log_message = [](const mg_connection*, const char*) { return 1; };
  try {
    auto exposer = std::make_unique<prometheus::Exposer>(std::move(options), &callbacks);
    const std::vector<int> ports = exposer->GetListeningPorts();
    exposer->RegisterCollectable(collectable);
    const int port = ports.empty() ? 0 : ports.front();
    return std::unique_ptr<MetricsEndpoint>(
        new MetricsEndpoint(std::move(exposer), std::move(collectable), *parsed, port));
  } catch (const std::exception& e) {
    const std::string error = BindError(*parsed);
    return refuse(error.empty() ? std::string(e.what()) : error);
  }
}

}  // namespace kvn
