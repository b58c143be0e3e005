#include "app/termination.h"

#include <csignal>

#if defined(_WIN32)
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>
#include <windows.h>

#include "shared/console_events.h"
#else
#include <QSocketNotifier>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kvn {

void IgnoreWriteSignals() {
#if !defined(_WIN32)
  // A closed standard error and a file-size limit must not kill the process
  // part way through a line: ignored, they make the write fail instead,
  // which is told and taken back like every other write failure.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

#if defined(_WIN32)

// Watches one window's messages in its window procedure: the close box and
// Alt+F4 send WM_SYSCOMMAND SC_CLOSE, whose default handling sends WM_CLOSE
// at once; a WM_CLOSE without it comes from another program.
class TerminationSignals::SystemClose final : public QAbstractNativeEventFilter {
 public:
  SystemClose(QWidget& window, std::function<void()> request)
      : window_(&window), request_(std::move(request)) {
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~SystemClose() override {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
  }
  SystemClose(const SystemClose&) = delete;
  SystemClose& operator=(const SystemClose&) = delete;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    // The window's own handle, never made here: the filter sees the messages
    // of its making too.
    const WId id = window_ ? window_->internalWinId() : 0;
    if (type != "windows_generic_MSG" || id == 0) return false;
    const auto* msg = static_cast<const MSG*>(message);
    if (msg->hwnd != reinterpret_cast<HWND>(id)) return false;
    if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == SC_CLOSE) {
      userClose_ = true;
      return false;
    }
    if (msg->message != WM_CLOSE || std::exchange(userClose_, false)) return false;
    request_();
    return true;  // Quit closes the window
  }

 private:
  QPointer<QWidget> window_;
  std::function<void()> request_;
  bool userClose_ = false;
};

// The console's events, taken on the window thread. The handler that waits
// for Quit after a close, logoff or shutdown event is let go when this goes,
// at the end of main, once Quit has run.
TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  console_events::Install();
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, &TerminationSignals::drain);
  poll->start(100);
}

TerminationSignals::~TerminationSignals() { console_events::Remove(); }

void TerminationSignals::watchSystemClose(QWidget& window) {
  systemClose_ = std::make_unique<SystemClose>(window, [this] { emit received(); });
}

void TerminationSignals::drain() {
  if (console_events::TakeRequest()) emit received();
}

#else

namespace {
// The handler only writes one byte into a socket; the window thread reads it.
int g_fds[2] = {-1, -1};
extern "C" void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
}
}  // namespace

// Linux's windows are closed by their window manager alone.
class TerminationSignals::SystemClose {};

void TerminationSignals::watchSystemClose(QWidget&) {}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0) return;
  auto* notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A logger started over a connection that drops gets SIGHUP: it quits
  // as for Ctrl+C rather than dying with its log open.
  sigaction(SIGHUP, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
  for (int& fd : g_fds) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void TerminationSignals::drain() {
  char buffer[16];
  if (::read(g_fds[1], buffer, sizeof buffer) > 0) emit received();
}

#endif

}  // namespace kvn
