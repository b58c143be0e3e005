#include "common/field_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvn {
namespace {

// Every field up to atEnd(), bounded so that a reader that stops advancing
// fails instead of hanging.
std::vector<std::string> AllFields(const std::string& text) {
  FieldReader reader(text);
  std::vector<std::string> out;
  while (!reader.atEnd() && out.size() <= text.size()) out.push_back(reader.nextText());
  return out;
}

TEST(FieldReader, SplitsFields) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}}, {" \t\r\n\r\n  \n", {}}, {"  abc \t", {"abc"}}, {"a , b ,c ", {"a", "b", "c"}},
      {"a,", {"a"}}, {",a", {"", "a"}}, {"a,,b", {"a", "", "b"}},
      {"one two, three", {"one two", "three"}},
      // Each kind of line end ends a field and goes with it; an empty or
      // blank line is one empty field.
      {"a\r\nb\r\n", {"a", "b"}}, {"a\nb\n", {"a", "b"}}, {"a\rb\r", {"a", "b"}},
      {"a\n\rb", {"a", "", "b"}}, {"a\r\n\r\nb", {"a", "", "b"}}, {"a\r\n \t\r\nb", {"a", "", "b"}},
      {"a,\r\nb", {"a", "", "b"}}, {" 3 \r\n10\r\n", {"3", "10"}},
      // Quoted fields keep blanks, commas and line ends; what follows the
      // closing quote up to the next comma or line end is dropped.
      {"\"a, b \",c", {"a, b ", "c"}}, {"  \"x\"  ,y", {"x", "y"}}, {"\"x\"junk\r\ny", {"x", "y"}},
      {"\"\",y", {"", "y"}}, {"\"two\r\nlines\"\r\nz", {"two\r\nlines", "z"}},
      {"5\" disk,b", {"5\" disk", "b"}},
      // A missing closing quote runs the field to the end of the text.
      {"\"open, still\r\nopen", {"open, still\r\nopen"}}, {"a,\"", {"a", ""}},
      {std::string("a\0b,c", 5), {std::string("a\0b", 3), "c"}},
  };
  for (const auto& [text, fields] : cases) EXPECT_EQ(AllFields(text), fields) << '"' << text << '"';
}

TEST(FieldReader, NumbersAndTrailingEmptyFields) {
  FieldReader reader(" 8388608 \r\n .5 \r\n-2 \r\n\"12\"\r\n1,5\r\nx\r\n&HFF\r\nV\r\n\r\n");
  for (double v : {8388608.0, 0.5, -2.0, 12.0, 1.0, 5.0, 0.0, 255.0}) EXPECT_EQ(reader.nextNumber(), v);
  EXPECT_EQ(reader.nextText(), "V");
  // Only an empty line is left: that is the end, yet it still reads as an
  // empty text, so a record whose last text is empty loads in full.
  EXPECT_TRUE(reader.atEnd());
  EXPECT_EQ(reader.nextText(), "");
  EXPECT_EQ(reader.nextNumber(), 0);
}

}  // namespace
}  // namespace kvn
