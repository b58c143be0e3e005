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

std::string DataRecordText(const Readings& readings) {
  std::string out;
  out.reserve(96);
  // The forms the panel shows the readings in.
  auto field = [&out](const std::optional<std::string>& text) {
    if (!out.empty()) out += ',';
    out += ' ';
    out += text ? *text : "{null}";
  };
  const auto& t = readings.temperature;
  field(t ? std::optional(HalfDegreesText(t->current)) : std::nullopt);
  field(t ? std::optional(HalfDegreesText(t->high)) : std::nullopt);
  field(t ? std::optional(HalfDegreesText(t->low)) : std::nullopt);
  for (std::size_t n = 0; n < 4; ++n) {
    const auto& a = readings.analog[n];
    field(a ? std::optional(NumText(a->value)) : std::nullopt);
  }
  return out;
}

}  // namespace kvn
