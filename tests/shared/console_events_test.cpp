// The console's events on Windows: each is a request to quit that the window
// thread takes once; after close, logoff and shutdown the handler keeps the
// process until Quit has run, and no longer than the system allows.
#include "shared/console_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/windows_api.h"

namespace kvn {
namespace {

using namespace std::chrono_literals;

// Waits up to five seconds for a request, as the window thread's poll takes it.
bool AwaitRequest() {
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < until) {
    if (console_events::TakeRequest()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// Each case runs in a process of its own: Quit runs once in a process.
class EndingEvent : public ::testing::TestWithParam<unsigned long> {};

TEST_P(EndingEvent, IsARequestAndHoldsTheProcessUntilQuitHasRun) {
  console_events::Install();
  std::atomic<bool> returned{false};
  int handled = 0;
  // On a thread of its own, as the system calls it.
  std::thread system([&] {
    handled = console_events::Handle(GetParam());
    returned = true;
  });
  EXPECT_TRUE(AwaitRequest());
  EXPECT_FALSE(console_events::TakeRequest()) << "taken once";
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(returned) << "the system would end the process before Quit has run";

  console_events::QuitHasRun();
  system.join();
  EXPECT_EQ(handled, 1);
  console_events::Remove();
}

INSTANTIATE_TEST_SUITE_P(ConsoleEvents, EndingEvent,
                         ::testing::Values(CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT,
                                           CTRL_SHUTDOWN_EVENT),
                         [](const auto& event) {
                           switch (event.param) {
                             case CTRL_CLOSE_EVENT: return "Close";
                             case CTRL_LOGOFF_EVENT: return "Logoff";
                             default: return "Shutdown";
                           }
                         });

TEST(ConsoleEvents, AHandlerThatQuitNeverAnswersReturnsWithinItsPatience) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(console_events::Handle(CTRL_CLOSE_EVENT, 200ms), 1);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 150ms);
  EXPECT_LT(waited, 3s);
  EXPECT_TRUE(console_events::TakeRequest());
}

TEST(ConsoleEvents, CtrlCAndBreakAreRequestsAnsweredAtOnceAndOthersAreNotOurs) {
  EXPECT_EQ(console_events::Handle(CTRL_C_EVENT), 1);
  EXPECT_EQ(console_events::Handle(CTRL_BREAK_EVENT), 1);
  EXPECT_TRUE(console_events::TakeRequest());
  EXPECT_FALSE(console_events::TakeRequest()) << "two requests together are one";
  EXPECT_EQ(console_events::Handle(99), 0);
  EXPECT_FALSE(console_events::TakeRequest());
}

}  // namespace
}  // namespace kvn
