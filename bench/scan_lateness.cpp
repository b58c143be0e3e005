// The scan tick's lateness while a client scrapes the metrics endpoint:
//   scan_lateness [SECONDS [SCRAPES_PER_SECOND]]   (defaults 30 and 50)
// The panel logs a record on every tick (the busiest tick) on its real
// 100 ms timer; a client thread scrapes at the given rate (0: no client,
// endpoint off). Prints each tick's lateness against its place in the
// schedule (the first tick plus whole periods): the largest, the 99th
// percentile and the median, in microseconds.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/metrics_service.h"
#include "bench_client.h"
#include "bench_panel.h"
#include "widgets/tick_timer.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const int rate = argc > 2 ? std::atoi(argv[2]) : 50;

  kvn::bench::Panel panel;
  kvn::MetricsService metrics(panel.form->scan(), panel.values, panel.driver);
  const int port = kvn::bench::FreePort();
  if (rate > 0) {
    if (auto problem = metrics.start("/M=127.0.0.1:" + std::to_string(port))) {
      std::fprintf(stderr, "%s\n", problem->c_str());
      return 1;
    }
  }
  panel.form->findChild<QLineEdit*>("logTime")->setText("0");
  panel.action("brdLogging")->trigger();

  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> ticks;
  ticks.reserve(static_cast<std::size_t>(seconds) * 10 + 10);
  // The time of each tick is taken as it begins, before the scan's work.
  kvn::TickTimer* timer = panel.form->brdTimer1();
  QObject::disconnect(timer, &kvn::TickTimer::timeout, panel.form.get(), nullptr);
  QObject::connect(timer, &kvn::TickTimer::timeout, [&] {
    ticks.push_back(Clock::now());
    panel.form->scanTick();
  });
  timer->setInterval(100);
  timer->start();

  std::atomic<bool> done = false;
  std::atomic<long> scrapes = 0, failed = 0;
  std::thread client([&] {
    if (rate <= 0) return;
    const auto period = std::chrono::microseconds(1'000'000 / rate);
    auto next = Clock::now();
    while (!done) {
      (kvn::bench::Scrape(port).find("kvnvb_board_open 1") != std::string::npos ? scrapes
                                                                                : failed)++;
      next += period;
      std::this_thread::sleep_until(next);
    }
  });
  QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
  app.exec();
  done = true;
  client.join();
  metrics.stop();

  // Each tick against the one before it, and against its place in the
  // schedule the first tick set.
  std::vector<double> beyondPeriod, behindSchedule;
  for (std::size_t n = 1; n < ticks.size(); ++n) {
    const auto micro = [](Clock::duration d) {
      return std::chrono::duration<double, std::micro>(d).count();
    };
    beyondPeriod.push_back(micro(ticks[n] - ticks[n - 1]) - 100'000.0);
    behindSchedule.push_back(micro(ticks[n] - ticks[0]) - 100'000.0 * static_cast<double>(n));
  }
  if (beyondPeriod.empty()) return 1;
  std::printf("%zu ticks, %ld scrapes (%ld failed) in %d s\n", ticks.size(), scrapes.load(),
              failed.load(), seconds);
  for (const auto& [name, late] : {std::pair{"beyond the period", &beyondPeriod},
                             std::pair{"behind the schedule", &behindSchedule}}) {
    std::sort(late->begin(), late->end());
    std::printf("  lateness %s: max %.0f us, p99 %.0f us, median %.0f us\n", name, late->back(),
                (*late)[late->size() * 99 / 100], (*late)[late->size() / 2]);
  }
  return 0;
}
