// FieldReader on any bytes: it must end, and its fields must come from the
// input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/field_reader.h"
#include "fuzz_check.h"

using kvn::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // Every field read before the end takes at least one byte, and fields are
  // disjoint pieces of the text.
  kvn::FieldReader reader(text);
  std::size_t fields = 0;
  std::size_t fieldBytes = 0;
  while (!reader.atEnd()) {
    Check(++fields <= size, "more fields than bytes: the reader does not advance");
    const std::string field = reader.nextText();
    fieldBytes += field.size();
    Check(fieldBytes <= size, "fields hold more bytes than the text");
    Check(text.find(field) != std::string::npos, "a field that is not part of the text");
  }
  Check(reader.nextText().empty(), "a field after the end");
  Check(reader.atEnd(), "no longer at the end after reading past it");

  // Numbers and texts mixed, as the settings loader reads them.
  kvn::FieldReader mixed(text);
  for (std::size_t i = 0; i <= size && !mixed.atEnd(); ++i) {
    if (i % 2 == 0) {
      mixed.nextNumber();
    } else {
      mixed.nextText();
    }
  }
  Check(mixed.atEnd(), "mixed reading did not reach the end");
  return 0;
}
