// The endpoint as a real server on loopback, against well-behaved and
// ill-behaved clients.
#include "metrics/metrics_endpoint.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "metrics/board_metrics.h"
#include "support/connection_flood.h"

namespace kvn {
namespace {

// A connected client socket, closed when it goes.
class Client {
 public:
  explicit Client(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Client() { close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return connected_; }
  void send(const std::string& bytes) const {
    (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // Everything the server sends until it closes, or until the time is up.
  std::string receive(std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
  bool connected_ = false;
};

std::string Get(int port, const std::string& request) {
  Client c(port);
  if (!c.connected()) return "(not connected)";
  c.send(request);
  return c.receive();
}

std::string Scrape(int port) {
  return Get(port, "GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
}

std::string StatusLine(const std::string& response) {
  return response.substr(0, response.find("\r\n"));
}

// The threads of this process.
long ThreadCount() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("Threads:")) return std::stol(line.substr(8));
  return -1;
}

class MetricsEndpointTest : public testing::Test {
 protected:
  void SetUp() override {
    MetricValues v;
    v.boardOpen = true;
    publisher_->publish(v);
    std::string reason;
    endpoint_ = MetricsEndpoint::Listen("127.0.0.1:0", publisher_, &reason);
    ASSERT_TRUE(endpoint_) << reason;
    port_ = endpoint_->port();
    ASSERT_GT(port_, 0);
  }

  std::shared_ptr<MetricsPublisher> publisher_ = std::make_shared<MetricsPublisher>();
  std::unique_ptr<MetricsEndpoint> endpoint_;
  int port_ = 0;
};

// The answer's header block, without the status line.
std::string Headers(const std::string& response) {
  const std::size_t start = response.find("\r\n") + 2;
  return response.substr(start, response.find("\r\n\r\n") - start + 2);
}

std::string Body(const std::string& response) {
  return response.substr(response.find("\r\n\r\n") + 4);
}

TEST_F(MetricsEndpointTest, OnlyGetAndHeadOfMetricsAnswer) {
  const std::string scrape = Scrape(port_);
  EXPECT_EQ(StatusLine(scrape), "HTTP/1.1 200 OK");
  EXPECT_NE(Headers(scrape).find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
            std::string::npos)
      << scrape;
  EXPECT_NE(scrape.find("\nkvnvb_board_open 1\n"), std::string::npos) << scrape;
  // The endpoint's own count of what it served comes with the readings.
  EXPECT_NE(scrape.find("\nexposer_scrapes_total "), std::string::npos) << scrape;
  // Prometheus may add parameters of its own.
  EXPECT_EQ(StatusLine(Get(port_, "GET /metrics?x=1 HTTP/1.1\r\nHost: x\r\n\r\n")),
            "HTTP/1.1 200 OK");

  const std::string head = Get(port_, "HEAD /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(StatusLine(head), "HTTP/1.1 200 OK");
  EXPECT_EQ(Body(head), "");

  for (const char* path : {"/", "/metrics/", "/metrics/foo", "/METRICS", "/metricsx",
                           "/../../etc/passwd", "/%2e%2e/metrics"}) {
    const std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
    EXPECT_EQ(StatusLine(Get(port_, request)), "HTTP/1.1 404 Not Found") << path;
  }
  for (const char* request :
       {"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc",
        "PUT /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n",
        "DELETE /metrics HTTP/1.1\r\nHost: x\r\n\r\n",
        "OPTIONS /metrics HTTP/1.1\r\nHost: x\r\n\r\n",
        "PATCH /metrics HTTP/1.1\r\nHost: x\r\n\r\n"}) {
    const std::string answer = Get(port_, request);
    EXPECT_EQ(StatusLine(answer), "HTTP/1.1 405 Method Not Allowed") << request;
    EXPECT_NE(Headers(answer).find("Allow: GET, HEAD\r\n"), std::string::npos) << answer;
  }
}

TEST_F(MetricsEndpointTest, GzipWhenTheScraperAsksForIt) {
  const std::string plain = Body(Scrape(port_));
  const std::string answer = Get(port_,
                                 "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                 "Accept-Encoding: identity, GZIP;q=0.5\r\n\r\n");
  ASSERT_NE(Headers(answer).find("Content-Encoding: gzip\r\n"), std::string::npos) << answer;
  const std::string packed = Body(answer);
  z_stream stream{};
  ASSERT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
  std::string text(64 * 1024, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = reinterpret_cast<Bytef*>(text.data());
  stream.avail_out = static_cast<uInt>(text.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  text.resize(stream.total_out);
  inflateEnd(&stream);
  // The same readings; only the endpoint's own counts moved on.
  const auto readings = [](const std::string& t) { return t.substr(0, t.find("# HELP exposer_")); };
  EXPECT_EQ(readings(text), readings(plain));
  EXPECT_NE(readings(text).find("\nkvnvb_board_open 1\n"), std::string::npos) << text;

  // A weight of 0 refuses gzip.
  const std::string refused = Get(port_,
                                  "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                  "Accept-Encoding: gzip;q=0\r\n\r\n");
  EXPECT_EQ(Headers(refused).find("Content-Encoding"), std::string::npos) << refused;
}

TEST_F(MetricsEndpointTest, IllBehavedClientsLeaveItAnswering) {
  // Malformed and oversized requests are refused or dropped.
  for (const std::string& request :
       {std::string("\x01\x02garbage\r\n\r\n"), std::string("GET\r\n\r\n"),
        std::string("GET /metrics HTTP/1.1\r\nX: ") + std::string(200000, 'a') + "\r\n\r\n",
        std::string(100000, '\n')}) {
    const std::string status = StatusLine(Get(port_, request));
    EXPECT_FALSE(status.starts_with("HTTP/1.1 200")) << status;
  }

  {
    // A client that connects and sends nothing is held for a while; the
    // others still answer.
    Client silent(port_);
    ASSERT_TRUE(silent.connected());
    EXPECT_EQ(StatusLine(Scrape(port_)), "HTTP/1.1 200 OK");
    // It is let go when it has been silent too long, not held for ever.
    const auto waited = std::chrono::steady_clock::now();
    silent.receive(std::chrono::seconds(10));
    EXPECT_LT(std::chrono::steady_clock::now() - waited, std::chrono::seconds(5));
  }

  // A thousand connections at once, each sending a scrape and most going
  // away without waiting for the answer.
  std::vector<std::unique_ptr<Client>> crowd;
  for (int n = 0; n < 1000; ++n) {
    crowd.push_back(std::make_unique<Client>(port_));
    crowd.back()->send("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  int answered = 0;
  for (std::size_t n = 0; n < crowd.size(); n += 100)
    answered += StatusLine(crowd[n]->receive()) == "HTTP/1.1 200 OK" ? 1 : 0;
  EXPECT_EQ(answered, 10);
  crowd.clear();

  EXPECT_EQ(StatusLine(Scrape(port_)), "HTTP/1.1 200 OK");
}

TEST_F(MetricsEndpointTest, ClosingItStopsListening) {
  endpoint_.reset();
  Client late(port_);
  EXPECT_FALSE(late.connected());
}

TEST(MetricsEndpointListenTest, AnAddressItCannotBindIsReportedWithTheReason) {
  auto publisher = std::make_shared<MetricsPublisher>();
  std::string reason;
  auto first = MetricsEndpoint::Listen("127.0.0.1:0", publisher, &reason);
  ASSERT_TRUE(first) << reason;
  const std::string taken = "127.0.0.1:" + std::to_string(first->port());

  EXPECT_FALSE(MetricsEndpoint::Listen(taken, publisher, &reason));
  EXPECT_EQ(reason, "The metrics endpoint could not listen at " + taken +
                        ": Address already in use. The panel goes on without serving metrics.");

  // 192.0.2.0/24 is set aside for documentation: no machine has it.
  EXPECT_FALSE(MetricsEndpoint::Listen("192.0.2.1:9731", publisher, &reason));
  EXPECT_NE(reason.find("192.0.2.1:9731: Cannot assign requested address."), std::string::npos)
      << reason;

  // The first endpoint is not disturbed.
  EXPECT_EQ(StatusLine(Scrape(first->port())), "HTTP/1.1 200 OK");
}

TEST(MetricsEndpointListenTest, IPv6Serves) {
  auto publisher = std::make_shared<MetricsPublisher>();
  std::string reason;
  auto endpoint = MetricsEndpoint::Listen("[::1]:0", publisher, &reason);
  if (!endpoint && reason.find("Cannot assign requested address") != std::string::npos)
    GTEST_SKIP() << "this machine has no IPv6 loopback: " << reason;
  ASSERT_TRUE(endpoint) << reason;
  const int fd = socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_port = htons(static_cast<std::uint16_t>(endpoint->port()));
  a.sin6_addr = in6addr_loopback;
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  const std::string request = "GET /metrics HTTP/1.0\r\n\r\n";
  ASSERT_GT(send(fd, request.data(), request.size(), MSG_NOSIGNAL), 0);
  char status[16] = {};
  EXPECT_GT(recv(fd, status, sizeof status - 1, MSG_WAITALL), 0);
  EXPECT_STREQ(status, "HTTP/1.1 200 OK");
  close(fd);
}

// Thousands of connections that send nothing, or a byte now and then, as an
// attacker on the same network would hold them open: each one the endpoint
// lets go is opened again at once.
struct Flood {
  const char* what;
  int count;
  std::optional<flood::Clock::duration> byteEvery;
};

void PrintTo(const Flood& f, std::ostream* out) { *out << f.what; }

class MetricsEndpointFloodTest : public MetricsEndpointTest,
                                 public testing::WithParamInterface<Flood> {};

TEST_P(MetricsEndpointFloodTest, ScrapesAnswerPromptlyWhileConnectionsAreHeld) {
  const Flood& f = GetParam();
  ASSERT_GE(endpoint_->connectionLimit(), 1024u) << "the file limit leaves too few connections";
  const long threadsBefore = ThreadCount();
  flood::ConnectionFlood held(port_, f.count, f.byteEvery);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  // Scrapes across more than one round of connections let go and opened
  // again, each given as long as Prometheus's default time-out.
  std::vector<std::optional<flood::Clock::duration>> times;
  for (int n = 0; n < 7; ++n) {
    times.push_back(flood::TimedScrape(port_, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  const auto median = flood::Median(times);
  ASSERT_TRUE(median) << f.what << ": most scrapes were not answered within 10 s";
  EXPECT_LT(*median, std::chrono::seconds(1)) << f.what;
  EXPECT_EQ(std::count(times.begin(), times.end(), std::nullopt), 0)
      << f.what << ": a scrape was not answered within 10 s";
  // No thread per connection: the flood's own is the only one added.
  EXPECT_EQ(ThreadCount(), threadsBefore + 1) << f.what;
  EXPECT_GT(held.closedByServer(), f.count / 2) << f.what << ": held for ever";
}

INSTANTIATE_TEST_SUITE_P(
    HeldOpen, MetricsEndpointFloodTest,
    testing::Values(Flood{"1000 silent connections", 1000, std::nullopt},
                    Flood{"200 connections sending a byte every 3 s", 200, std::chrono::seconds(3)}),
    [](const testing::TestParamInfo<Flood>& param) {
      return param.param.byteEvery ? std::string("SlowSenders") : std::string("SilentConnections");
    });

}  // namespace
}  // namespace kvn
