// Scrapes of the metrics endpoint while idle or slow connections are held
// open against it, as an attacker on the same network would hold them: the
// scrape's time (median and longest) with 0, 20, 200 and 1000 silent
// connections and with 200 that send a byte every 3 s, and what the held
// connections cost the process in memory and threads.
//
//   idle_connections [SCRAPES] [LIMIT_S] [COUNT...]
//   (defaults: 9 scrapes given 15 s each; 0, 20, 200 and 1000 connections)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/connection_flood.h"
#include "metrics/board_metrics.h"
#include "metrics/metrics_endpoint.h"

namespace {

using namespace std::chrono_literals;
using kvn::flood::Clock;

// A line of /proc/self/status ("VmRSS", "Threads") as a number.
long Status(const std::string& key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(key + ":")) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}

std::string Millis(const std::optional<Clock::duration>& d) {
  if (!d) return "timed out";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms",
                std::chrono::duration<double, std::milli>(*d).count());
  return text;
}

void Measure(int port, const char* what, int count, std::optional<Clock::duration> byteEvery,
             int scrapes, Clock::duration limit) {
  const long rssBefore = Status("VmRSS");
  std::vector<std::optional<Clock::duration>> times;
  {
    std::optional<kvn::flood::ConnectionFlood> flood;
    if (count > 0) flood.emplace(port, count, byteEvery);
    std::this_thread::sleep_for(1s);
    long rss = 0;
    long threads = 0;
    for (int n = 0; n < scrapes; ++n) {
      times.push_back(kvn::flood::TimedScrape(port, limit));
      rss = std::max(rss, Status("VmRSS"));
      threads = std::max(threads, Status("Threads"));
      std::this_thread::sleep_for(250ms);
    }
    const int unanswered =
        static_cast<int>(std::count(times.begin(), times.end(), std::nullopt));
    const std::optional<Clock::duration> median = kvn::flood::Median(times);
    kvn::flood::SortTimes(times);
    std::printf("%-22s median %-10s longest %-10s unanswered %d/%d  resident +%ld KiB, %ld threads\n",
                what, Millis(median).c_str(), Millis(times.back()).c_str(),
                unanswered, scrapes, rss - rssBefore, threads);
  }
  std::this_thread::sleep_for(3s);
}

}  // namespace

int main(int argc, char** argv) {
  const int scrapes = std::max(1, argc > 1 ? std::atoi(argv[1]) : 9);
  const Clock::duration limit = std::chrono::seconds(argc > 2 ? std::atoi(argv[2]) : 15);
  // Room for a thousand connections at both of their ends.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  auto publisher = std::make_shared<kvn::MetricsPublisher>();
  kvn::MetricValues values;
  values.boardOpen = true;
  publisher->publish(values);
  std::string reason;
  const auto endpoint = kvn::MetricsEndpoint::Listen("127.0.0.1:0", publisher, &reason);
  if (!endpoint) {
    std::fprintf(stderr, "%s\n", reason.c_str());
    return 1;
  }
  std::printf("%d scrapes each, 250 ms apart, given %lld s each\n", scrapes,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(limit).count()));
  // The slow ones first: memory freed by a larger flood before would be
  // used again and hide what they cost.
  Measure(endpoint->port(), "200 slow (1 byte/3 s)", 200, 3s, scrapes, limit);
  std::vector<int> counts;
  for (int n = 3; n < argc; ++n) counts.push_back(std::atoi(argv[n]));
  if (counts.empty()) counts = {0, 20, 200, 1000};
  for (const int count : counts)
    Measure(endpoint->port(), (std::to_string(count) + " silent").c_str(), count, std::nullopt,
            scrapes, limit);
  return 0;
}
