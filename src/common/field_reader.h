// Reads comma-separated fields from the panel's own text files (the state
// file, the chart settings file).
//
// A field runs to the next comma or the end of the line; blanks and tabs
// before and after it are not part of it. A field that begins with a double
// quote runs to the next double quote (the quotes are not part of it), and
// anything up to the next comma or line end after the closing quote is
// skipped; a field whose closing quote is missing runs to the end of the text.
// Lines may end in CR LF, LF or CR.
//
// The comma or line end that ends a field is taken with it, so "a\r\nb" is
// two fields and an empty (or blank) line is one empty field; "a,\r\nb" is
// three fields, the middle one empty. A double quote that does not begin a
// field is ordinary text, as is every byte other than comma, CR and LF (NUL
// included).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvn {

class FieldReader {
 public:
  explicit FieldReader(std::string text);

  // True when nothing but line ends, blanks and tabs is left to read. Trailing
  // empty lines are therefore not fields of their own.
  bool atEnd() const;

  // True when every byte has been read. Unlike atEnd(), a line end or blank
  // that is left over still counts as something to read (an empty field), as
  // an end-of-file test on the open file would see it.
  bool exhausted() const { return pos_ >= text_.size(); }

  // The next field as text; empty once the end is reached (so a record that
  // ends in empty lines at the end of the text still reads in full).
  std::string nextText();

  // The next field taken with NumValue.
  double nextNumber();

 private:
  std::string text_;
  std::size_t pos_ = 0;
  std::size_t contentEnd_ = 0;  // one past the last byte that is not a blank or line end
};

}  // namespace kvn
