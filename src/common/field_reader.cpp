#include "common/field_reader.h"

#include <utility>

#include "common/num_forms.h"

namespace kvn {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool EndsField(char c) { return c == ',' || IsLineEnd(c); }

}  // namespace

FieldReader::FieldReader(std::string text) : text_(std::move(text)) {
  contentEnd_ = text_.size();
  while (contentEnd_ > 0 && (IsBlank(text_[contentEnd_ - 1]) || IsLineEnd(text_[contentEnd_ - 1]))) {
    --contentEnd_;
  }
}

bool FieldReader::atEnd() const { return pos_ >= contentEnd_; }

std::string FieldReader::nextText() {
  const std::size_t size = text_.size();
  while (pos_ < size && IsBlank(text_[pos_])) ++pos_;
  if (pos_ >= size) return {};

  std::string field;
  if (text_[pos_] == '"') {
    ++pos_;
    const std::size_t close = text_.find('"', pos_);
    if (close == std::string::npos) {
      field = text_.substr(pos_);
      pos_ = size;
      return field;
    }
    field = text_.substr(pos_, close - pos_);
    pos_ = close + 1;
    while (pos_ < size && !EndsField(text_[pos_])) ++pos_;
  } else {
    const std::size_t start = pos_;
    while (pos_ < size && !EndsField(text_[pos_])) ++pos_;
    std::size_t end = pos_;
    while (end > start && IsBlank(text_[end - 1])) --end;
    field = text_.substr(start, end - start);
  }

  // Take the comma or line end that ended the field.
  if (pos_ < size) {
    const char sep = text_[pos_++];
    if (sep == '\r' && pos_ < size && text_[pos_] == '\n') ++pos_;
  }
  return field;
}

double FieldReader::nextNumber() { return NumValue(nextText()); }

}  // namespace kvn
