#include "driver/card_ranges.h"

#include <gtest/gtest.h>

namespace kvn {
namespace {

using Texts = std::vector<std::string>;

TEST(FormatRanges, TwoIoRangesAndOneMemoryRange) {
  CardRanges r;
  r.ioCount = 2;
  r.ioBase = {0x300, 0x340};
  r.ioExtent = {16, 8};
  r.memCount = 1;
  r.memBase = {0xD0000};
  r.memExtent = {4096};
  const RangeTexts t = FormatRanges(r);
  EXPECT_EQ(t.ioBase, (Texts{"300", "340"}));
  EXPECT_EQ(t.ioExtent, (Texts{"16", "8"}));
  EXPECT_EQ(t.memBase, (Texts{"D0000"}));
  EXPECT_EQ(t.memExtent, (Texts{"4096"}));
}

TEST(FormatRanges, CountsOutsideZeroToEightAreHeldThere) {
  CardRanges r;
  r.ioBase.fill(1);
  r.ioCount = 99;
  r.memCount = -4;
  const RangeTexts t = FormatRanges(r);
  EXPECT_EQ(t.ioBase.size(), 8u);
  EXPECT_TRUE(t.memBase.empty());
  r.ioCount = INT32_MIN;
  r.memCount = INT32_MAX;
  EXPECT_TRUE(FormatRanges(r).ioBase.empty());
  EXPECT_EQ(FormatRanges(r).memBase.size(), 8u);
}

TEST(FormatRanges, NegativeBaseShowsItsTwosComplementAndExtentItsSign) {
  CardRanges r;
  r.ioCount = 1;
  r.ioBase = {-1};
  r.ioExtent = {-16};
  const RangeTexts t = FormatRanges(r);
  EXPECT_EQ(t.ioBase, (Texts{"FFFFFFFF"}));
  EXPECT_EQ(t.ioExtent, (Texts{"-16"}));
}

}  // namespace
}  // namespace kvn
