// Reads comma-separated fields from the panel's own text files (the state
// file, the chart settings file).
//
// A field runs to the next comma or the end of the line; blanks and tabs
// before and after it are not part of it. A field that begins with a double
// quote runs to the next double quote (the quotes are not part of it), and
// anything up to the next comma or line end after the closing quote is
// skipped. Lines may end in CR LF, LF or CR.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvn {

class FieldReader {
 public:
  explicit FieldReader(std::string text);

  // True when nothing but line ends and blanks is left to read.
  bool atEnd() const;

  // The next field as text; empty once the end is reached.
  std::string nextText();

  // The next field taken with NumValue.
  double nextNumber();

 private:
  std::string text_;
  std::size_t pos_ = 0;
};

}  // namespace kvn
