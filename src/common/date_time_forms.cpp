#include "common/date_time_forms.h"

#include <charconv>

namespace kvn {

namespace {

// The number with zeros in front up to width digits; a minus sign, should a
// field ever be negative, goes before the zeros.
void AppendPadded(std::string& out, int value, int width) {
  char buf[16];
  const bool negative = value < 0;
  const auto magnitude = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
  const auto res = std::to_chars(buf, buf + sizeof buf, magnitude);
  const auto len = static_cast<int>(res.ptr - buf);
  if (negative) out.push_back('-');
  if (len < width) out.append(static_cast<std::size_t>(width - len), '0');
  out.append(buf, res.ptr);
}

}  // namespace

std::string DateForm(const LocalDateTime& t) {
  std::string out;
  AppendPadded(out, t.month, 2);
  out.push_back('-');
  AppendPadded(out, t.day, 2);
  out.push_back('-');
  AppendPadded(out, t.year, 4);
  return out;
}

std::string TimeForm(const LocalDateTime& t) {
  std::string out;
  AppendPadded(out, t.hour, 2);
  out.push_back(':');
  AppendPadded(out, t.minute, 2);
  out.push_back(':');
  AppendPadded(out, t.second, 2);
  return out;
}

}  // namespace kvn
