#include "app/state_file.h"

#include "common/field_reader.h"
#include "common/num_forms.h"
#include "common/text_file.h"

namespace kvn {

namespace {
// The file holds two short lines; anything past this is never looked at.
constexpr std::size_t kMaxStateFileBytes = 64 * 1024;
}  // namespace

StoredState ReadStateFile(const std::string& path) {
  StoredState state;
  auto text = ReadFilePrefix(path, kMaxStateFileBytes);
  if (!text) return state;
  FieldReader reader(std::move(*text));
  if (reader.atEnd()) return state;
  state.brdAddrIndex = ToInt32(reader.nextNumber());
  // Whatever follows the first field's line, even an empty line, is the
  // logging period: an empty second line gives an empty field.
  if (reader.exhausted()) return state;
  state.logTime = reader.nextText();
  return state;
}

std::string StateFileContent(std::int32_t brdAddrIndex, const std::string& logTime) {
  return JoinCrLf({FileForm(brdAddrIndex), logTime});
}

std::optional<std::string> WriteStateFile(const std::string& path, std::int32_t brdAddrIndex,
                                          const std::string& logTime) {
  return ReplaceFileAtomically(path, StateFileContent(brdAddrIndex, logTime));
}

}  // namespace kvn
