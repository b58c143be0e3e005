// Small interfaces in front of what the platform provides, so that tests can
// stand in for them.
#pragma once

#include <string>

#include "app/program_values.h"
#include "logging/log_writer.h"

namespace kvn {

// Message boxes (OK button only) and input boxes.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void messageBox(const std::string& text, const std::string& title = kAppTitle) = 0;
  // The answer typed; empty when the user cancels.
  virtual std::string inputBox(const std::string& prompt, const std::string& title) = 0;
};

// The wall clock: the local date and time of log lines (now()), and the
// seconds since midnight of short waits.
class Clock : public LogClock {
 public:
  // Seconds since local midnight, with the platform timer's resolution.
  virtual double secondsSinceMidnight() = 0;
};

}  // namespace kvn
