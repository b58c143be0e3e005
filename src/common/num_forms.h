// Number and text forms shared by every window and file of the panel.
//
// Everything here is locale independent ("." is always the decimal point)
// and free of any window toolkit, so it can be tested and fuzzed directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvn {

// The number-to-text form of every number shown on screen or written to the
// log: shortest decimal form with at most 15 significant digits, "-" for
// negative values, no blanks, no zero before the point below 1 (.5, -.5), no
// point for whole values (25, -3). Negative zero is "0".
std::string NumText(double value);

// The text-to-number rule (see num_forms.cpp for the details): blanks, tabs
// and line feeds anywhere are skipped; an optional sign, digits, one point and
// an exponent are read up to the first character that cannot continue the
// number; "&H"/"&O" read hexadecimal/octal (one to four hex digits as
// written are a 16-bit two's complement value, five to eight a 32-bit one,
// more the plain unsigned value). Empty or non-numeric text gives
// 0. Never NaN or negative zero; a value too large for a double gives
// +/- infinity, one too small gives 0.
double NumValue(std::string_view text);

// NumValue with what it found: whether the number held at least one digit,
// and whether it took up the whole text (skipped characters aside).
struct NumberScan {
  double value = 0.0;
  bool hasDigits = false;
  bool wholeText = false;
};
NumberScan ScanNumber(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2).
double RoundHalfEven(double value);

// Rounds half-even, then saturates into the target range. NaN gives 0.
std::int32_t ToInt32(double value);
std::int16_t ToInt16(double value);

// True when RoundHalfEven(value) lies in the 32-bit signed range.
bool FitsInt32(double value);

// " 7" / "-3": the whole number with one leading blank when not negative.
std::string SignedDecimal(std::int64_t value);

// Upper-case hexadecimal without prefix or leading zeros ("0" for 0); a
// negative value shows the eight digits of its 32-bit two's complement.
std::string HexText(std::int32_t value);

// The value in powers of ten with at most `digits` significant digits (1 to
// 15), for a place too narrow for NumText: no trailing zeros, no "+" and no
// leading zeros in the exponent ("1.8E308", "2E308", "-1.5E-7"; 0 is "0").
std::string CompactNumText(double value, int digits);

// File form of numbers in the panel's own files: NumText with one blank before
// a value that is not negative and one blank after every value (" 10 ", "-2 ").
std::string FileForm(double value);

}  // namespace kvn

namespace kvn {

// NumText with a zero before the point of a fraction between -1 and 1
// ("0.25", "-0.5"); other values as NumText gives them ("128", "25.5"). The
// form of the chart legend and of the channel settings dialog's Y range.
std::string NumTextWithZero(double value);

}  // namespace kvn
