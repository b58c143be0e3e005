// The text forms of the log: the line counter field, the event lines and the
// record lines, and the data part of a reading record. Free of any window
// toolkit and of file handling.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/date_time_forms.h"
#include "shared/readings.h"

namespace kvn {

// The line counter field: lines in decimal, right-aligned in exactly 8
// characters with blanks on the left; a longer number keeps its last 8
// characters (123456789 gives "23456789").
std::string CounterField(std::int32_t lines);

// An event line: prefix, date, " at ", time
// ("Log Paused on 12-06-2026 at 09:15:03").
std::string EventLine(std::string_view prefix, const LocalDateTime& when);

// A data record (mark " > ") or a user message (mark " # "):
// counter field, " ", date, " ", time, mark, text.
std::string RecordLine(std::int32_t lines, const LocalDateTime& when, std::string_view mark,
                       std::string_view text);

// The data header of a log started from the Logging menu.
inline constexpr const char* kDataHeader =
    "TempCurrent TempHighSet, TempLowSet, Analog0, Analog1, Analog2, Analog3";

// The text of a data record: the temperature, the high and low set points in
// degrees and analog inputs 0..3, each as ", " (no comma before the first)
// and its NumText form, or " {null}" for a reading not taken yet
// (" 25.5, 30, -.5, 123, 45, {null}, {null}").
std::string DataRecordText(const Readings& readings);

}  // namespace kvn
