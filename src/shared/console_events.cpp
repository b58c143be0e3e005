#include "shared/console_events.h"

#ifdef _WIN32

#include "common/windows_api.h"

#include <cstdio>
#include <io.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace kvn::console_events {

namespace {

std::atomic<bool> g_requested{false};
std::mutex g_mutex;
std::condition_variable g_quitRan;
bool g_quitHasRun = false;

BOOL WINAPI OnConsoleEvent(DWORD event) { return Handle(event) != 0 ? TRUE : FALSE; }

// True when the C library's stream writes somewhere (it was redirected, or
// the program has a console).
bool StreamIsConnected(std::FILE* stream) {
  const int fd = _fileno(stream);
  return fd >= 0 && _get_osfhandle(fd) != -1;
}

}  // namespace

bool AttachToParentConsole() {
  if (GetConsoleWindow() != nullptr) return true;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  if (!StreamIsConnected(stdout)) static_cast<void>(std::freopen("CONOUT$", "w", stdout));
  if (!StreamIsConnected(stderr)) static_cast<void>(std::freopen("CONOUT$", "w", stderr));
  return true;
}

void Install() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void Remove() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  QuitHasRun();
}

bool TakeRequest() { return g_requested.exchange(false); }

void QuitHasRun() {
  {
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_quitHasRun = true;
  }
  g_quitRan.notify_all();
}

int Handle(unsigned long event, std::chrono::milliseconds patience) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // The program goes on until Quit has run and ends by itself.
      g_requested = true;
      return 1;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      g_requested = true;
      std::unique_lock<std::mutex> lock(g_mutex);
      g_quitRan.wait_for(lock, patience, [] { return g_quitHasRun; });
      return 1;
    }
    default:
      return 0;
  }
}

}  // namespace kvn::console_events

#endif
