// Number and text forms.
//
// NumValue in detail:
//  - Blanks, tabs, line feeds and carriage returns anywhere in the text are
//    ignored (" 1 2 3" is 123, "& H FF" is 255).
//  - Decimal: optional "+" or "-", digits with at most one ".", then an
//    optional exponent: "E" or "D" in either case, an optional sign and at
//    least one digit. An exponent letter without digits after it ends the
//    number in front of the letter ("1e" is 1, "1e+" is 1). Reading stops at
//    the first character that cannot continue the number ("5A" is 5, "1,5"
//    is 1). Text without a leading number ("abc", "--1", "-", ".") gives 0.
//  - "&H" reads hexadecimal digits, "&O" octal digits (letters in either
//    case). Hexadecimal takes its width from the digits as written, leading
//    zeros included: one to four digits are a 16-bit two's complement value
//    (&HFFFF is -1, &H8000 is -32768, &H00FF is 255), five to eight a 32-bit
//    one (&H0FFFF is 65535, &H00008000 is 32768, &HFFFFFFFF is -1), more
//    digits the plain unsigned value. Octal takes its width from the value:
//    up to &O177777 16 bits, up to &O37777777777 32 bits, beyond that the
//    plain value. "&H" or "&O" without digits, and "&" followed by
//    anything else, give 0. A sign in front of "&" gives 0: the number ends at
//    the "&".
//  - A value beyond the double range gives +/- infinity ("1e999"); one too
//    small to represent gives 0 ("1e-999"). The result is never NaN and never
//    negative zero.
#include "common/num_forms.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string_view>
#include <system_error>

namespace kvn {

namespace {

constexpr int kSignificantDigits = 15;

// The characters NumValue skips wherever they stand.
bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Walks the text while stepping over the skipped characters.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  // The next character that is not skipped, or '\0' at the end. A NUL byte in
  // the text cannot continue any number, so it ends reading just the same.
  char peek() {
    while (pos_ < text_.size() && IsSkipped(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  void advance() {
    if (pos_ < text_.size()) ++pos_;
  }
  // True when only skipped characters are left.
  bool atEnd() {
    peek();
    return pos_ >= text_.size();
  }
  std::size_t mark() const { return pos_; }
  void reset(std::size_t mark) { pos_ = mark; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "&H..." / "&O..." after the "&" and the letter.
double ReadRadix(Cursor& in, unsigned base, bool& anyDigit) {
  std::uint64_t exact = 0;
  double big = 0.0;
  bool tooBig = false;
  std::size_t digits = 0;
  for (;;) {
    const int d = DigitValue(in.peek());
    if (d < 0 || static_cast<unsigned>(d) >= base) break;
    anyDigit = true;
    ++digits;
    in.advance();
    const auto digit = static_cast<std::uint64_t>(d);
    if (!tooBig && exact > (std::numeric_limits<std::uint64_t>::max() - digit) / base) {
      tooBig = true;
      big = static_cast<double>(exact);
    }
    if (tooBig) {
      big = big * base + static_cast<double>(digit);
    } else {
      exact = exact * base + digit;
    }
  }
  if (tooBig) return big;
  if (base == 16) {
    if (digits <= 4) return static_cast<std::int16_t>(static_cast<std::uint16_t>(exact));
    if (digits <= 8) return static_cast<std::int32_t>(static_cast<std::uint32_t>(exact));
    return static_cast<double>(exact);
  }
  if (exact <= 0xFFFFu) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(exact));
  }
  if (exact <= 0xFFFFFFFFu) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(exact));
  }
  return static_cast<double>(exact);
}

// Caps a count so that the exponent arithmetic below cannot overflow.
std::int64_t Capped(std::int64_t n) { return n > 1'000'000'000 ? 1'000'000'000 : n; }

}  // namespace

std::string NumText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  if (value == 0) return "0";

  // Scientific form with 15 significant digits: [-]d.ddddddddddddddde[+-]dd[d]
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                 kSignificantDigits - 1);
  std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
  const bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  const std::size_t ePos = sci.find('e');

  std::string digits(1, sci[0]);
  if (ePos > 2) digits.append(sci.substr(2, ePos - 2));

  int exponent = 0;
  std::string_view expText = sci.substr(ePos + 1);
  const bool expNegative = expText.front() == '-';
  expText.remove_prefix(1);  // to_chars always writes the exponent's sign
  std::from_chars(expText.data(), expText.data() + expText.size(), exponent);
  if (expNegative) exponent = -exponent;

  // The values nearest the largest double round to 1.79769313486232E+308,
  // which no double reaches: they are cut to the digits below instead, so
  // that every text read back is a finite number.
  if (exponent == 308 && digits > "179769313486231") digits = "179769313486231";
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out;
  if (negative) out.push_back('-');
  if (exponent >= -5 && exponent < kSignificantDigits) {
    if (exponent >= 0) {
      const auto intLen = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= intLen) {
        out += digits;
        out.append(intLen - digits.size(), '0');
      } else {
        out.append(digits, 0, intLen);
        out.push_back('.');
        out.append(digits, intLen);
      }
    } else {
      out.push_back('.');
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
    return out;
  }

  out.push_back(digits[0]);
  if (digits.size() > 1) {
    out.push_back('.');
    out.append(digits, 1);
  }
  out.push_back('E');
  out.push_back(exponent < 0 ? '-' : '+');
  const int absExp = exponent < 0 ? -exponent : exponent;
  if (absExp < 10) out.push_back('0');
  out += std::to_string(absExp);
  return out;
}

double NumValue(std::string_view text) { return ScanNumber(text).value; }

namespace {

// The digits and point of a decimal number, collected in the form
// std::from_chars takes, with what tells an overflow from an underflow.
struct Mantissa {
  std::string number;
  std::int64_t intSignificant = 0;    // integer digits after leading zeros
  std::int64_t fracLeadingZeros = 0;  // zeros after the point before the first other digit
  bool anyDigit = false;
  bool anyNonZero = false;
};

Mantissa ReadMantissa(Cursor& in) {
  Mantissa m;
  bool seenPoint = false;
  for (char c = in.peek();; c = in.peek()) {
    if (IsDigit(c)) {
      m.anyDigit = true;
      if (c != '0') m.anyNonZero = true;
      if (!seenPoint && m.anyNonZero) m.intSignificant = Capped(m.intSignificant + 1);
      if (seenPoint && !m.anyNonZero) m.fracLeadingZeros = Capped(m.fracLeadingZeros + 1);
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else {
      return m;
    }
    m.number.push_back(c);
    in.advance();
  }
}

// An exponent ("E", "e", "D" or "d", an optional sign, at least one digit),
// appended to number as "e<sign><digits>"; its value, held within the cap.
// Without a digit the letter is not taken and 0 is returned.
std::int64_t ReadExponent(Cursor& in, std::string& number) {
  const char letter = in.peek();
  if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd') return 0;
  const std::size_t beforeLetter = in.mark();
  in.advance();
  std::string part = "e";
  bool negative = false;
  char s = in.peek();
  if (s == '+' || s == '-') {
    negative = s == '-';
    part.push_back(s);
    in.advance();
    s = in.peek();
  }
  if (!IsDigit(s)) {
    in.reset(beforeLetter);
    return 0;
  }
  std::int64_t exponent = 0;
  for (; IsDigit(s); s = in.peek()) {
    exponent = Capped(exponent * 10 + (s - '0'));
    part.push_back(s);
    in.advance();
  }
  number += part;
  return negative ? -exponent : exponent;
}

// The magnitude of the collected number: infinity for one too large for a
// double, 0 for one too small.
double Magnitude(const Mantissa& m, std::int64_t exponent) {
  double magnitude = 0.0;
  const auto res = std::from_chars(m.number.data(), m.number.data() + m.number.size(), magnitude,
                                   std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Decimal exponent of the leading digit: far above zero for an overflow,
    // far below for an underflow.
    const std::int64_t lead =
        exponent + (m.intSignificant > 0 ? m.intSignificant - 1 : -(m.fracLeadingZeros + 1));
    return lead >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return res.ec == std::errc() ? magnitude : 0.0;
}

}  // namespace

NumberScan ScanNumber(std::string_view text) {
  NumberScan scan;
  Cursor in(text);
  char c = in.peek();

  if (c == '&') {
    in.advance();
    const char kind = in.peek();
    const unsigned base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
    if (base != 0) {
      in.advance();
      scan.value = ReadRadix(in, base, scan.hasDigits);
    }
    scan.wholeText = scan.hasDigits && in.atEnd();
    return scan;
  }

  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.advance();
  }
  Mantissa m = ReadMantissa(in);
  scan.hasDigits = m.anyDigit;
  const std::int64_t exponent = ReadExponent(in, m.number);
  scan.wholeText = m.anyDigit && in.atEnd();
  if (!m.anyDigit || !m.anyNonZero) return scan;
  const double magnitude = Magnitude(m, exponent);
  if (magnitude != 0.0) scan.value = negative ? -magnitude : magnitude;
  return scan;
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  const double below = std::floor(value);
  const double fraction = value - below;  // exact for every finite double
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1.0;
  return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

namespace {

template <typename Int>
Int SaturatingRound(double value) {
  if (std::isnan(value)) return 0;
  const double r = RoundHalfEven(value);
  constexpr auto lo = std::numeric_limits<Int>::min();
  constexpr auto hi = std::numeric_limits<Int>::max();
  if (r <= static_cast<double>(lo)) return lo;
  if (r >= static_cast<double>(hi)) return hi;
  return static_cast<Int>(r);
}

}  // namespace

std::int32_t ToInt32(double value) { return SaturatingRound<std::int32_t>(value); }

std::int16_t ToInt16(double value) { return SaturatingRound<std::int16_t>(value); }

bool FitsInt32(double value) {
  if (std::isnan(value)) return false;
  const double r = RoundHalfEven(value);
  return r >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
         r <= static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

std::string SignedDecimal(std::int64_t value) {
  char buf[32];
  buf[0] = ' ';
  char* const start = value < 0 ? buf : buf + 1;
  const auto res = std::to_chars(start, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

std::string HexText(std::int32_t value) {
  char buf[16];
  const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(value), 16);
  std::string out(buf, res.ptr);
  for (char& ch : out) {
    if (ch >= 'a' && ch <= 'f') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return out;
}

std::string CompactNumText(double value, int digits) {
  if (!std::isfinite(value)) return NumText(value);
  if (value == 0) return "0";
  digits = std::clamp(digits, 1, kSignificantDigits);
  char buf[64];
  const auto res =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
  const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
  const std::size_t ePos = sci.find('e');
  std::string out(sci.substr(0, ePos));
  if (out.find('.') != std::string::npos) {
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
  }
  out.push_back('E');
  std::string_view exponent = sci.substr(ePos + 1);
  if (exponent.front() == '-') out.push_back('-');
  exponent.remove_prefix(1);
  while (exponent.size() > 1 && exponent.front() == '0') exponent.remove_prefix(1);
  out += exponent;
  return out;
}

std::string FileForm(double value) {
  std::string out = value < 0 ? "" : " ";
  out += NumText(value);
  out.push_back(' ');
  return out;
}

}  // namespace kvn

namespace kvn {

std::string NumTextWithZero(double value) {
  std::string out = NumText(value);
  const std::size_t point = out.front() == '-' ? 1 : 0;
  if (out.size() > point && out[point] == '.') out.insert(point, 1, '0');
  return out;
}

}  // namespace kvn
