// The text forms of the log: the line counter field, the event lines and the
// record lines, and the data part of a reading record. Free of any window
// toolkit and of file handling.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/date_time_forms.h"

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

// True when the whole text is one number: blanks, tabs, CRs and LFs anywhere
// are skipped (as NumValue skips them), and what remains is either a decimal
// number (optional sign, digits with at most one point and at least one
// digit, then optionally "E" or "D" in either case, an optional sign and at
// least one digit) or "&H" with hexadecimal digits or "&O" with octal digits.
// "25.5", "-.5", " 1 2", "1e3", "&HFF" read as numbers; "", "abc", "-", ".",
// "12abc", "1e", "1,5" do not.
bool ReadsAsNumber(std::string_view text);

// Appends one field of a data record to entry: "," when entry is not empty
// yet, then " " and NumText(NumValue(value)) when the value reads as a number
// (see ReadsAsNumber), or " {null}" when it is empty or does not read as one.
void LogBuild(std::string& entry, const std::string& value);

}  // namespace kvn
