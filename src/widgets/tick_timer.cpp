#include "widgets/tick_timer.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cstdint>

#if defined(__linux__)
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace kvn {

TickTimer::TickTimer(QObject* parent) : QObject(parent) {
  fallback_.setTimerType(Qt::PreciseTimer);
  connect(&fallback_, &QTimer::timeout, this, &TickTimer::timeout);
#if defined(__linux__)
  fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ >= 0) {
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TickTimer::expired);
  }
#endif
}

TickTimer::~TickTimer() {
#if defined(__linux__)
  delete notifier_;
  if (fd_ >= 0) ::close(fd_);
#endif
}

void TickTimer::setInterval(int ms) {
  intervalMs_ = std::max(ms, 0);
  fallback_.setInterval(intervalMs_);
  if (active_) arm(true);
}

void TickTimer::start() {
  active_ = true;
  arm(true);
}

void TickTimer::stop() {
  active_ = false;
  arm(false);
}

void TickTimer::arm(bool on) {
#if defined(__linux__)
  if (fd_ >= 0) {
    // A period of 0 ms ticks as often as the kernel's smallest period allows.
    const long ns = on ? std::max(intervalMs_, 0) * 1000000L + (intervalMs_ == 0 ? 1 : 0) : 0;
    itimerspec period{};
    period.it_interval.tv_sec = ns / 1000000000L;
    period.it_interval.tv_nsec = ns % 1000000000L;
    period.it_value = period.it_interval;
    timerfd_settime(fd_, 0, &period, nullptr);
    // A stopped timer must not deliver an expiry that was already pending.
    drain();
    return;
  }
#endif
  if (on) {
    fallback_.start();
  } else {
    fallback_.stop();
  }
}

void TickTimer::expired() {
  if (drain() > 0 && active_) emit timeout();
}

std::uint64_t TickTimer::drain() {
#if defined(__linux__)
  std::uint64_t expirations = 0;
  if (fd_ >= 0 && ::read(fd_, &expirations, sizeof expirations) == sizeof expirations)
    return expirations;
#endif
  return 0;
}

}  // namespace kvn
