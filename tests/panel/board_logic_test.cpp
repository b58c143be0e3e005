// The rules behind the board function controls, without any window.
#include "panel/board_logic.h"

#include <gtest/gtest.h>

#include <limits>

#include "common/num_forms.h"

namespace kvn {
namespace {

TEST(BoardLogicTest, RawTemperaturesAreSignCorrectedAndShownInDegrees) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "0"}, {1, ".5"}, {255, "127.5"}, {256, "-128"}, {511, "-.5"}, {-20, "-10"},
      {512, "0"},  // only 512 is taken off: bits above 8 are not masked
  };
  for (const auto& [raw, text] : cases) EXPECT_EQ(HalfDegreesText(SignCorrect(raw)), text) << raw;
  EXPECT_EQ(SignCorrect(std::numeric_limits<std::int32_t>::max()), 2147483135);
}

TEST(BoardLogicTest, SetPointsAreDoubledRoundedOrRefused) {
  const std::pair<const char*, std::int32_t> ok[] = {
      {"25.25", 50}, {"25.75", 52}, {"-0", 0},     {"+.5", 1},        {" 3 0 ", 60},
      {"30 C", 60},  {"&H1E", 60},  {"200", 400},  {"1073741823.5", 2147483647},
      {"-1073741824", std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& [text, half] : ok) {
    const SetPoint p = ParseSetPoint(text);
    EXPECT_EQ(p.status, SetPoint::Status::kOk) << text;
    EXPECT_EQ(p.halfDegrees, half) << text;
  }
  for (const char* text : {"", " ", "abc", "-", ".", "-.", "+-1", "C30", "&H", "&X1", "Inf"})
    EXPECT_EQ(ParseSetPoint(text).status, SetPoint::Status::kNotANumber) << '"' << text << '"';
  // Doubled and rounded beyond the 32-bit range: refused, never clipped.
  for (const char* text : {"1073741824", "1073741823.75", "-1073741824.5", "1e999", "&HFFFFFFFFF"})
    EXPECT_EQ(ParseSetPoint(text).status, SetPoint::Status::kOutOfRange) << text;
}

TEST(BoardLogicTest, ChannelRangeCoversOnlyChannelsZeroToEight) {
  using V = std::vector<int>;
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ChannelsInRange(7, 1e300), (V{7, 8}));
  EXPECT_EQ(ChannelsInRange(-5, -1), V{});
  EXPECT_EQ(ChannelsInRange(7.9, 8.1), V{8});
  EXPECT_EQ(ChannelsInRange(3.2, 3.8), V{});
  EXPECT_EQ(ChannelsInRange(-inf, inf).size(), 9u);

  // What a read covers is exactly what the labels' rule enables.
  const double bounds[] = {-inf, -1e10, -1, -0.5, 0, 0.5, 1, 3, 4.5, 8, 8.5, 9, 1e10, inf};
  for (double start : bounds) {
    for (double end : bounds) {
      V enabled;
      for (int n = 0; n < kAnalogChannels; ++n)
        if (ChannelInRange(n, start, end)) enabled.push_back(n);
      EXPECT_EQ(ChannelsInRange(start, end), enabled) << start << ".." << end;
    }
  }
}

TEST(BoardLogicTest, OutputBitsSetOrClearOneBitOfTheReadBack) {
  EXPECT_EQ(RelaysFromReadBack(-40), -2);  // truncated toward zero
  EXPECT_EQ(NewOutputValue(0x1FF, false, kLowThermostatOff), 0xFE);  // bits 8 up go too
  EXPECT_EQ(NewOutputValue(0x1FF, true, kLowThermostatOff), 0x1FF);
  EXPECT_EQ(NewOutputValue(-1, false, kRelay0), 253);
  EXPECT_EQ(NewOutputValue(-1, true, kRelay1), -1);
}

TEST(BoardLogicTest, DllVersionTakesItsPartsFromTheDigits) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {10003, "1.00.03"}, {123456, "1.34.56"}, {1234, "1.34.34"}, {123, "1.3.23"},
      {42, "4..42"},      {5, "5..5"},         {-10003, "-.00.03"},
  };
  for (const auto& [v, text] : cases)
    EXPECT_EQ(DllVersionText(v), std::string("DLL Version: ") + text) << v;
}

TEST(BoardLogicTest, ContactTextIsSixLinesOfTwentySixEndedByCarriageReturns) {
  const std::string text = ContactText();
  EXPECT_EQ(text.find('\n'), std::string::npos);
  ASSERT_EQ(text.size(), 6 * (kContactWidth + 1));
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size(); at += kContactWidth + 1) {
    EXPECT_EQ(text[at + kContactWidth], '\r');
    lines.push_back(text.substr(at, kContactWidth));
  }
  EXPECT_EQ(lines[0], "korvan Environmental Board");
  EXPECT_EQ(lines[1], "       Version 1.00.03    ");
  EXPECT_EQ(lines[2], std::string(kContactWidth, ' '));
  for (std::size_t i = 3; i < 6; ++i) {
    EXPECT_EQ(lines[i].front(), ' ') << lines[i];
    EXPECT_EQ(lines[i].back(), ' ') << lines[i];
    EXPECT_NE(lines[i].find_first_not_of(" \r"), std::string::npos);
  }
}

}  // namespace
}  // namespace kvn
