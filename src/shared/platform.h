// Small interfaces in front of what the platform provides, so that tests can
// stand in for them. Nothing here needs a window toolkit.
#pragma once

#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/date_time_forms.h"
#include "shared/program_values.h"

namespace kvn {

// The colour chooser's sixteen custom colour slots, as colour references
// (0x00BBGGRR).
using CustomColors = std::array<std::int32_t, 16>;

// What the user confirmed in the colour chooser.
struct ColorChoice {
  std::int32_t color = 0;  // colour reference 0x00BBGGRR
  CustomColors customColors{};
};

// Message boxes (OK button only), input boxes and the colour chooser.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void messageBox(const std::string& text, const std::string& title = kAppTitle) = 0;
  // The answer typed; empty when the user cancels.
  virtual std::string inputBox(const std::string& prompt, const std::string& title) = 0;
  // The colour chooser, opened with black as its colour (no colour is
  // preselected) and with these custom colours. It blocks only the window
  // that opened it (the active one) and returns at once; `answer` gets what
  // the user confirmed when the chooser closes: nothing when the user
  // cancels, otherwise the colour chosen and the custom colours as the user
  // left them. Where there is no chooser to show, it counts as cancelled at
  // once. When the owning window goes first, `answer` is never called.
  using ColorAnswer = std::function<void(std::optional<ColorChoice>)>;
  virtual void chooseColor(const CustomColors& customColors, ColorAnswer answer) {
    static_cast<void>(customColors);
    answer(std::nullopt);
  }
};

// The local date and time, as the log's lines show them.
class DateClock {
 public:
  virtual ~DateClock() = default;
  virtual LocalDateTime now() = 0;
};

// The wall clock: the local date and time of log lines (now()), and the
// seconds since midnight of short waits.
class Clock : public DateClock {
 public:
  // Seconds since local midnight, with the platform timer's resolution.
  virtual double secondsSinceMidnight() = 0;
  // The time of day as a point in time, the time stamp of a reading. Where
  // the system has one, the coarse clock of the last timer interrupt (a few
  // milliseconds old at most, and a fraction of the cost).
  virtual std::chrono::system_clock::time_point wallTime();
};

// The keyboard as the strip chart's Ctrl+L / Ctrl+U test reads it: the state
// of one key, by its Windows virtual-key code, whichever window has the focus.
// The result has its top bit set (it is negative) while the key is down and
// is 0 while it is up, so the AND of two results is non-zero exactly when
// both keys are down.
class KeyState {
 public:
  virtual ~KeyState() = default;
  virtual std::int16_t GetAsyncKeyState(int virtualKey) = 0;
};

inline constexpr int kVkControl = 0x11;
inline constexpr int kVkL = 0x4C;
inline constexpr int kVkU = 0x55;
inline constexpr std::int16_t kKeyDown = INT16_MIN;

}  // namespace kvn
