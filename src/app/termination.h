// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C, a service manager stopping a
// headless logger, a dropped terminal session), and on Windows the console's
// Ctrl+C, Ctrl+Break, close, logoff and shutdown events, into a Qt signal on
// the window thread.
#pragma once

#include <QObject>

namespace kvn {

// Ignores SIGPIPE and SIGXFSZ, so that a write to a closed pipe or past the
// file-size limit fails and is reported instead of ending the process. First
// thing in main: the toolkit may write to standard error as it starts.
void IgnoreWriteSignals();

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
