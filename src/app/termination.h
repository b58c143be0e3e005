// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C, a service manager stopping a
// headless logger, a dropped terminal session), and on Windows the console's
// Ctrl+C, Ctrl+Break, close, logoff and shutdown events, into a Qt signal on
// the window thread.
#pragma once

#include <QObject>
#include <memory>

class QWidget;

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

  // On Windows, a WM_CLOSE to the window that did not come from its close box
  // or Alt+F4 (the one taskkill sends, or a program ending another) is
  // received as a request to end, as SIGTERM is on Linux. The user's own
  // close still closes the window alone. Nothing on Linux.
  void watchSystemClose(QWidget& window);

 signals:
  void received();

 private:
  void drain();

  class SystemClose;
  std::unique_ptr<SystemClose> systemClose_;
};

}  // namespace kvn
