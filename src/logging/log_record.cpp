#include "logging/log_record.h"

#include <cstddef>

#include "common/num_forms.h"

namespace kvn {

namespace {

constexpr std::size_t kCounterWidth = 8;

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Steps over a run of characters that pass the test; returns how many.
template <typename Test>
std::size_t Skip(std::string_view s, std::size_t& pos, Test test) {
  const std::size_t start = pos;
  while (pos < s.size() && test(s[pos])) ++pos;
  return pos - start;
}

bool IsWholeRadixNumber(std::string_view s) {
  // s starts with "&"
  if (s.size() < 3) return false;
  std::size_t pos = 2;
  switch (s[1]) {
    case 'H':
    case 'h':
      return Skip(s, pos, IsHexDigit) > 0 && pos == s.size();
    case 'O':
    case 'o':
      return Skip(s, pos, IsOctalDigit) > 0 && pos == s.size();
    default:
      return false;
  }
}

bool IsWholeDecimalNumber(std::string_view s) {
  std::size_t pos = 0;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
  std::size_t digits = Skip(s, pos, IsDigit);
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    digits += Skip(s, pos, IsDigit);
  }
  if (digits == 0) return false;
  if (pos < s.size() && (s[pos] == 'E' || s[pos] == 'e' || s[pos] == 'D' || s[pos] == 'd')) {
    ++pos;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
    if (Skip(s, pos, IsDigit) == 0) return false;
  }
  return pos == s.size();
}

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
  std::string compact;
  compact.reserve(text.size());
  for (const char c : text) {
    if (!IsSkipped(c)) compact.push_back(c);
  }
  if (compact.empty()) return false;
  return compact.front() == '&' ? IsWholeRadixNumber(compact) : IsWholeDecimalNumber(compact);
}

void LogBuild(std::string& entry, const std::string& value) {
  if (!entry.empty()) entry += ',';
  if (ReadsAsNumber(value)) {
    entry += ' ';
    entry += NumText(NumValue(value));
  } else {
    entry += " {null}";
  }
}

}  // namespace kvn
