// A periodic timer that keeps its period: the strip chart's drawing timer
// and the main panel's scan timer.
//
// Qt's timers round every wait up to a whole millisecond from the moment they
// are re-armed, and the kernel adds its timer slack: a 1 ms QTimer ticks only
// about 925 times a second. On Linux a periodic kernel timer (timerfd) keeps
// the period itself, so the 1 ms setting means 1 ms and a 100 ms scan ticks on time; elsewhere a precise
// QTimer does the work.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

class QSocketNotifier;

namespace kvn {

class TickTimer : public QObject {
  Q_OBJECT

 public:
  explicit TickTimer(QObject* parent = nullptr);
  ~TickTimer() override;

  // Changing the interval of a running timer starts its period afresh.
  void setInterval(int ms);
  int interval() const { return intervalMs_; }
  void start();
  void stop();
  bool isActive() const { return active_; }

 signals:
  // Once per period. Periods missed while the window thread was busy are not
  // made up for.
  void timeout();

 private:
  void arm(bool on);
  void expired();
  // Reads and returns the periods that have passed since the last read.
  std::uint64_t drain();

  int intervalMs_ = 0;
  bool active_ = false;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  QTimer fallback_;
};

}  // namespace kvn
