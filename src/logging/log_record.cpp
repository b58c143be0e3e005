#include "logging/log_record.h"

#include <cstddef>

#include "common/num_forms.h"

namespace kvn {

namespace {

constexpr std::size_t kCounterWidth = 8;

void AppendDateTime(std::string& out, const LocalDateTime& when, std::string_view between) {
  out += DateForm(when);
  out += between;
  out += TimeForm(when);
}

}  // namespace

std::string CounterField(std::int32_t lines) {
  std::string digits = std::to_string(lines);
  if (digits.size() >= kCounterWidth) return digits.substr(digits.size() - kCounterWidth);
  return std::string(kCounterWidth - digits.size(), ' ') + digits;
}

std::string EventLine(std::string_view prefix, const LocalDateTime& when) {
  std::string line(prefix);
  AppendDateTime(line, when, " at ");
  return line;
}

std::string RecordLine(std::int32_t lines, const LocalDateTime& when, std::string_view mark,
                       std::string_view text) {
  std::string line = CounterField(lines);
  line += ' ';
  AppendDateTime(line, when, " ");
  line += mark;
  line += text;
  return line;
}

bool ReadsAsNumber(std::string_view text) {
  const NumberScan scan = ScanNumber(text);
  return scan.hasDigits && scan.wholeText;
}

void LogBuild(std::string& entry, const std::string& value) {
  if (!entry.empty()) entry += ',';
  const NumberScan scan = ScanNumber(value);
  if (scan.hasDigits && scan.wholeText) {
    entry += ' ';
    entry += NumText(scan.value);
  } else {
    entry += " {null}";
  }
}

}  // namespace kvn
