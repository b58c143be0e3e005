// Small interfaces in front of what the platform provides, so that tests can
// stand in for them. Nothing here needs a window toolkit.
#pragma once

#include <string>

#include "common/date_time_forms.h"
#include "shared/program_values.h"

namespace kvn {

// Message boxes (OK button only) and input boxes.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void messageBox(const std::string& text, const std::string& title = kAppTitle) = 0;
  // The answer typed; empty when the user cancels.
  virtual std::string inputBox(const std::string& prompt, const std::string& title) = 0;
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
};

}  // namespace kvn
