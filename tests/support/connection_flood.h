// Connections held open against a server on loopback, as an attacker on the
// same network would hold them, and scrapes timed while they are held. Used by
// the endpoint's tests and by bench/idle_connections.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kvn::flood {

using Clock = std::chrono::steady_clock;

// A non-blocking socket connecting to 127.0.0.1:port; -1 when none is left.
inline int ConnectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
    close(fd);
    return -1;
  }
  return fd;
}

// `count` connections that send nothing (silent) or one byte of an endless
// request every `byteEvery` (slow). A connection the server closes is opened
// again at once, so that the count stays while the flood lasts.
class ConnectionFlood {
 public:
  ConnectionFlood(int port, int count, std::optional<Clock::duration> byteEvery = std::nullopt)
      : port_(port), byteEvery_(byteEvery), fds_(static_cast<std::size_t>(count), -1),
        sent_(fds_.size(), 0), thread_([this] { run(); }) {}
  ~ConnectionFlood() {
    stop_ = true;
    thread_.join();
    for (const int fd : fds_)
      if (fd >= 0) close(fd);
  }
  ConnectionFlood(const ConnectionFlood&) = delete;
  ConnectionFlood& operator=(const ConnectionFlood&) = delete;

  // How often the server closed one of them.
  int closedByServer() const { return closed_; }

 private:
  void run() {
    static const std::string endless = "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Slow: ";
    std::vector<pollfd> polled(fds_.size());
    Clock::time_point nextByte = Clock::now() + byteEvery_.value_or(Clock::duration::zero());
    while (!stop_) {
      for (std::size_t i = 0; i < fds_.size(); ++i) {
        if (fds_[i] < 0) {
          fds_[i] = ConnectTo(port_);
          sent_[i] = 0;
        }
        polled[i] = {fds_[i], POLLIN, 0};
      }
      if (poll(polled.data(), polled.size(), 20) > 0) {
        for (std::size_t i = 0; i < fds_.size(); ++i) {
          if (polled[i].revents == 0) continue;
          char buffer[512];
          const ssize_t n = recv(fds_[i], buffer, sizeof buffer, 0);
          if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) continue;
          close(fds_[i]);
          fds_[i] = -1;
          ++closed_;
        }
      }
      if (byteEvery_ && Clock::now() >= nextByte) {
        nextByte += *byteEvery_;
        for (std::size_t i = 0; i < fds_.size(); ++i) {
          if (fds_[i] < 0) continue;
          const char byte = sent_[i] < endless.size() ? endless[sent_[i]] : 'a';
          if (send(fds_[i], &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) ++sent_[i];
        }
      }
    }
  }

  const int port_;
  const std::optional<Clock::duration> byteEvery_;
  std::vector<int> fds_;
  std::vector<std::size_t> sent_;
  std::atomic<bool> stop_ = false;
  std::atomic<int> closed_ = 0;
  std::thread thread_;
};

// One scrape of GET /metrics over a connection of its own: its time, from the
// connect to the server's close, when the answer was 200 OK within `limit`.
inline std::optional<Clock::duration> TimedScrape(int port, Clock::duration limit) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + limit;
  const int fd = ConnectTo(port);
  if (fd < 0) return std::nullopt;
  const std::string request = "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  std::size_t sent = 0;
  std::string got;
  bool closed = false;
  while (!closed) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, static_cast<short>(POLLIN | (sent < request.size() ? POLLOUT : 0)), 0};
    if (poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100))) <= 0) continue;
    if ((p.revents & POLLOUT) && sent < request.size()) {
      const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<std::size_t>(n);
      else if (errno != EAGAIN) break;
    }
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[8192];
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EAGAIN) closed = true;
    }
  }
  close(fd);
  if (!closed || !got.starts_with("HTTP/1.1 200 ")) return std::nullopt;
  return Clock::now() - start;
}

// The times in order, an unanswered scrape counting as longer than any.
inline void SortTimes(std::vector<std::optional<Clock::duration>>& times) {
  std::sort(times.begin(), times.end(), [](const auto& a, const auto& b) {
    return a && (!b || *a < *b);
  });
}

// The median of the times, an unanswered scrape counting as longer than any.
inline std::optional<Clock::duration> Median(std::vector<std::optional<Clock::duration>> times) {
  if (times.empty()) return std::nullopt;
  SortTimes(times);
  return times[times.size() / 2];
}

}  // namespace kvn::flood
