#include "logging/log_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvn {
namespace {

std::string Build(const std::vector<std::string>& values) {
  std::string entry;
  for (const auto& v : values) LogBuild(entry, v);
  return entry;
}

TEST(CounterField, RightAlignedInEightKeepingTheLastEightDigits) {
  EXPECT_EQ(CounterField(3), "       3");
  EXPECT_EQ(CounterField(12345678), "12345678");
  EXPECT_EQ(CounterField(123456789), "23456789");
  EXPECT_EQ(CounterField(2147483647), "47483647");
}

TEST(LogBuild, ScanRecordFields) {
  EXPECT_EQ(Build({"25.5", "30", "10", "123", "45", "0", "255"}), " 25.5, 30, 10, 123, 45, 0, 255");
  // A first value that is empty, and analog labels that were never read.
  EXPECT_EQ(Build({"", "30", "10", "", "", "", ""}), " {null}, 30, 10, {null}, {null}, {null}, {null}");
  EXPECT_EQ(Build({"-.5"}), " -.5");
}

TEST(LogBuild, NumbersAreWrittenInTheNumberTextForm) {
  EXPECT_EQ(Build({"0.50"}), " .5");
  EXPECT_EQ(Build({"-0.5"}), " -.5");
  EXPECT_EQ(Build({" 1 2\t"}), " 12");
  EXPECT_EQ(Build({"+7."}), " 7");
  EXPECT_EQ(Build({"1e3"}), " 1000");
  EXPECT_EQ(Build({"2.5D-1"}), " .25");
  EXPECT_EQ(Build({"&HFF"}), " 255");
  EXPECT_EQ(Build({"&hffff"}), " -1");
  EXPECT_EQ(Build({"&O17"}), " 15");
}

TEST(LogBuild, TextThatIsNotWhollyANumberIsNull) {
  for (const char* text : {" ", "abc", "-", ".", "+-1", "12abc", "1e", "1e+", "1,5", "1.2.3", "&H",
                           "&HG", "&O8", "&X1", "-&H1", "E5"}) {
    EXPECT_EQ(Build({text}), " {null}") << '"' << text << '"';
  }
}

}  // namespace
}  // namespace kvn
