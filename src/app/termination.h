// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C, a service manager stopping a
// headless logger, a dropped terminal session) into a Qt signal on the window
// thread. SIGPIPE and SIGXFSZ are ignored, so that the write that raised them
// fails and is reported instead.
#pragma once

#include <QObject>

namespace kvn {

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 signals:
  void received();

 private:
  void drain();
};

}  // namespace kvn
