#include "metrics/metrics_endpoint.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <prometheus/counter.h>
#include <prometheus/registry.h>
#include <prometheus/summary.h>
#include <prometheus/text_serializer.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "metrics/metrics_option.h"

namespace kvn {

namespace {

// Files the program keeps open besides the endpoint's connections: the
// board, the log, the display's connection, the libraries.
constexpr unsigned kOwnFiles = 256;

// Room in the process's file limit for the endpoint's connections: the soft
// limit is raised as far as the hard limit allows (nothing here waits with
// select, whose sets end at 1024), and the connections held are as many as
// fit below it.
unsigned RoomForConnections() {
  constexpr rlim_t wanted = MetricsEndpoint::kConnectionLimit + kOwnFiles;
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) != 0) return 64;
  if (files.rlim_cur != RLIM_INFINITY && files.rlim_cur < wanted) {
    rlimit raised = files;
    raised.rlim_cur =
        files.rlim_max == RLIM_INFINITY ? wanted : std::min<rlim_t>(files.rlim_max, wanted);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) files = raised;
  }
  if (files.rlim_cur == RLIM_INFINITY || files.rlim_cur >= wanted)
    return MetricsEndpoint::kConnectionLimit;
  return static_cast<unsigned>(files.rlim_cur > 2 * kOwnFiles ? files.rlim_cur - kOwnFiles
                                                               : files.rlim_cur / 2);
}

// A listening socket at the address, or the system's reason why not.
int ListeningSocket(const ListenAddress& address, std::string& error) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (address.ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<std::uint16_t>(address.port));
    inet_pton(AF_INET6, address.host.c_str(), &a->sin6_addr);
    length = sizeof(sockaddr_in6);
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<std::uint16_t>(address.port));
    inet_pton(AF_INET, address.host.c_str(), &a->sin_addr);
    length = sizeof(sockaddr_in);
  }
  const int fd = socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    return -1;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
      listen(fd, SOMAXCONN) != 0) {
    error = std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int BoundPort(int fd) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return 0;
  return ntohs(storage.ss_family == AF_INET6
                   ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                   : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameLetters(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return (x | 0x20) == (y | 0x20);
  });
}

// Whether an Accept-Encoding header admits gzip ("gzip", "gzip;q=0.5"; not
// "gzip;q=0").
bool AcceptsGzip(const char* header) {
  if (!header) return false;
  std::string_view rest = header;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view coding = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const std::size_t semicolon = coding.find(';');
    if (!SameLetters(Trimmed(coding.substr(0, semicolon)), "gzip")) continue;
    if (semicolon == std::string_view::npos) return true;
    const std::string_view weight = Trimmed(coding.substr(semicolon + 1));
    if (!weight.starts_with("q=") && !weight.starts_with("Q=")) return true;
    return weight.substr(2).find_first_not_of("0.") != std::string_view::npos;
  }
  return false;
}

// The text in gzip's format, at zlib's fastest level.
std::optional<std::string> Gzipped(const std::string& text) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return std::nullopt;
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) return std::nullopt;
  return out;
}

}  // namespace

// The metrics, with the endpoint's own count of what it served.
struct MetricsEndpoint::Answerer {
  explicit Answerer(std::shared_ptr<prometheus::Collectable> served)
      : collectable(std::move(served)),
        bytes(prometheus::BuildCounter()
                  .Name("exposer_transferred_bytes_total")
                  .Help("Transferred bytes to metrics services")
                  .Register(registry)
                  .Add({})),
        scrapes(prometheus::BuildCounter()
                    .Name("exposer_scrapes_total")
                    .Help("Number of times metrics were scraped")
                    .Register(registry)
                    .Add({})),
        latencies(prometheus::BuildSummary()
                      .Name("exposer_request_latencies")
                      .Help("Latencies of serving scrape requests, in microseconds")
                      .Register(registry)
                      .Add({}, prometheus::Summary::Quantiles{
                                   {0.5, 0.05}, {0.9, 0.01}, {0.99, 0.001}})) {}

  MHD_Result answer(MHD_Connection* connection, std::string_view path, std::string_view method);

  std::shared_ptr<prometheus::Collectable> collectable;
  prometheus::Registry registry;
  prometheus::Counter& bytes;
  prometheus::Counter& scrapes;
  prometheus::Summary& latencies;
};

namespace {

// The answer, with the headers whose value is not null.
MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body,
                std::initializer_list<std::pair<const char*, const char*>> headers) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  for (const auto& [name, value] : headers)
    if (value) MHD_add_response_header(response, name, value);
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Result Answer(void* answerer, MHD_Connection* connection, const char* url,
                  const char* method, const char*, const char*, std::size_t*, void**) {
  return static_cast<MetricsEndpoint::Answerer*>(answerer)->answer(connection, url, method);
}

}  // namespace

MHD_Result MetricsEndpoint::Answerer::answer(MHD_Connection* connection, std::string_view path,
                                             std::string_view method) {
  constexpr const char* kText = "text/plain; charset=utf-8";
  if (path != "/metrics")
    return Send(connection, MHD_HTTP_NOT_FOUND, "Not Found\n", {{"Content-Type", kText}});
  if (method != "GET" && method != "HEAD") {
    return Send(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Method Not Allowed\n",
                {{"Content-Type", kText}, {"Allow", "GET, HEAD"}});
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<prometheus::MetricFamily> families = collectable->Collect();
  std::vector<prometheus::MetricFamily> own = registry.Collect();
  families.insert(families.end(), std::make_move_iterator(own.begin()),
                  std::make_move_iterator(own.end()));
  std::string body = prometheus::TextSerializer().Serialize(families);
  bool gzipped = false;
  if (AcceptsGzip(MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                              MHD_HTTP_HEADER_ACCEPT_ENCODING))) {
    if (std::optional<std::string> packed = Gzipped(body)) {
      body = std::move(*packed);
      gzipped = true;
    }
  }
  constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";
  const MHD_Result queued = Send(connection, MHD_HTTP_OK, body,
                                 {{"Content-Type", kExposition},
                                  {"Content-Encoding", gzipped ? "gzip" : nullptr},
                                  {"Vary", "Accept-Encoding"}});
  scrapes.Increment();
  bytes.Increment(static_cast<double>(body.size()));
  latencies.Observe(static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now() - start)
                                            .count()));
  return queued;
}

MetricsEndpoint::~MetricsEndpoint() {
  if (daemon_) MHD_stop_daemon(daemon_);
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

  std::unique_ptr<MetricsEndpoint> endpoint(new MetricsEndpoint);
  endpoint->connectionLimit_ = RoomForConnections();
  std::string error;
  const int fd = ListeningSocket(*parsed, error);
  if (fd < 0) return refuse(error);
  endpoint->port_ = BoundPort(fd);
  endpoint->answerer_ = std::make_unique<Answerer>(std::move(collectable));
  // Without MHD_USE_ERROR_LOG the server writes nothing to standard error.
  endpoint->daemon_ = MHD_start_daemon(
      MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC, 0, nullptr, nullptr, &Answer,
      endpoint->answerer_.get(), MHD_OPTION_LISTEN_SOCKET, fd, MHD_OPTION_CONNECTION_LIMIT,
      endpoint->connectionLimit_, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, kRequestMemory, MHD_OPTION_END);
  if (!endpoint->daemon_) {
    const std::string why = std::strerror(errno);
    // Closed unless the server closed it already: a number it let go may
    // stand for another file by now.
    if (BoundPort(fd) == endpoint->port_) close(fd);
    return refuse("the web server did not start (" + why + ")");
  }
  return endpoint;
}

}  // namespace kvn
