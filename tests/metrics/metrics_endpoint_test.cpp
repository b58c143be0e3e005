// The endpoint as a real server on loopback, against well-behaved and
// ill-behaved clients.
#include "metrics/metrics_endpoint.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "metrics/board_metrics.h"

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

TEST_F(MetricsEndpointTest, OnlyGetMetricsAnswers) {
  const std::string scrape = Scrape(port_);
  EXPECT_EQ(StatusLine(scrape), "HTTP/1.1 200 OK");
  EXPECT_NE(scrape.find("\nkvnvb_board_open 1\n"), std::string::npos) << scrape;

  for (const char* request :
       {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", "GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n",
        "POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc",
        "PUT /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n",
        "DELETE /metrics HTTP/1.1\r\nHost: x\r\n\r\n"}) {
    const std::string status = StatusLine(Get(port_, request));
    EXPECT_TRUE(status.starts_with("HTTP/1.1 4")) << request << " -> " << status;
  }
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
    // A client that connects and sends nothing holds one thread for a
    // while; the others still answer.
    Client silent(port_);
    ASSERT_TRUE(silent.connected());
    EXPECT_EQ(StatusLine(Scrape(port_)), "HTTP/1.1 200 OK");
    // It is let go within the request time-out, not held for ever.
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

TEST(MetricsEndpointListenTest, IPv6ServesOrSaysTheServerCannot) {
  auto publisher = std::make_shared<MetricsPublisher>();
  std::string reason;
  auto endpoint = MetricsEndpoint::Listen("[::1]:0", publisher, &reason);
  if (endpoint) {
    EXPECT_GT(endpoint->port(), 0);
  } else {
    EXPECT_NE(reason.find("was built without IPv6; give an IPv4 address"), std::string::npos)
        << reason;
  }
}

}  // namespace
}  // namespace kvn
