// The fixed date and time forms of the log, independent of the locale.
#pragma once

#include <string>

namespace kvn {

struct LocalDateTime {
  int year = 2000;
  int month = 1;   // 1..12
  int day = 1;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

// "mm-dd-yyyy", e.g. 12-06-2026.
std::string DateForm(const LocalDateTime& t);

// "hh:mm:ss" on the 24-hour clock, e.g. 07:05:09.
std::string TimeForm(const LocalDateTime& t);

}  // namespace kvn
