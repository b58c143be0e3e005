#include "common/num_forms.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>

namespace kvn {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(NumText, Forms) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0"}, {-0.0, "0"}, {25.5, "25.5"}, {127.5, "127.5"}, {-128, "-128"}, {0.5, ".5"},
      {-0.5, "-.5"}, {0.001, ".001"}, {0.1 + 0.2, ".3"}, {1.0 / 3.0, ".333333333333333"},
      {-2.0 / 3.0, "-.666666666666667"}, {123456789012345.6, "123456789012346"},
      {2147483647, "2147483647"}, {1234.5678, "1234.5678"},
      // Plain decimal from 1e-5 up to 1e15 (after rounding), scientific beyond.
      {1e-5, ".00001"}, {-1.25e-5, "-.0000125"}, {9.99999999999999e-6, "9.99999999999999E-06"},
      {999999999999999, "999999999999999"}, {999999999999999.9, "1E+15"}, {1e15, "1E+15"},
      {-2.5e-7, "-2.5E-07"}, {1.23456789012345678e20, "1.23456789012346E+20"},
      {1e100, "1E+100"},
      // Next to the largest double, cut rather than rounded above it.
      {std::numeric_limits<double>::max(), "1.79769313486231E+308"},
      {-1.797693134862315e308, "-1.79769313486231E+308"}, {1.79769313486229e308, "1.79769313486229E+308"},
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
      {kInf, "Inf"}, {-kInf, "-Inf"}, {kNaN, "NaN"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(NumText(value), text) << value;
}

TEST(CompactNumText, FewerDigitsAndAShortExponent) {
  const std::tuple<double, int, const char*> cases[] = {
      {std::numeric_limits<double>::max(), 15, "1.79769313486232E308"},
      {std::numeric_limits<double>::max(), 2, "1.8E308"},
      {-std::numeric_limits<double>::max(), 1, "-2E308"},
      {1e300, 15, "1E300"}, {123456789, 3, "1.23E8"}, {-2.5e-7, 4, "-2.5E-7"},
      {0.0, 3, "0"}, {9.96, 2, "1E1"}, {5, 0, "5E0"}, {5, 99, "5E0"}, {kInf, 3, "Inf"},
  };
  for (const auto& [value, digits, text] : cases)
    EXPECT_EQ(CompactNumText(value, digits), text) << value << " in " << digits;
}

using ValueCase = std::pair<const char*, double>;

TEST(NumValue, Decimal) {
  const ValueCase cases[] = {
      {"", 0}, {"abc", 0}, {"-0", 0}, {".5", 0.5}, {"-.5", -0.5}, {"5.", 5}, {".", 0}, {"-", 0},
      {"+7", 7}, {"--1", 0}, {"+-1", 0}, {" 1 2 3", 123}, {"\t-\n4\r.\t2 5", -4.25}, {"5A", 5},
      {"1,5", 1}, {"1.2.3", 1.2}, {"0010", 10}, {"0.1", 0.1},
      // Exponents: E or D in either case; a letter without digits ends the number.
      {"1e3", 1000}, {"1d3", 1000}, {"1D-2", 0.01}, {"2.5e+2", 250}, {"1 e 3", 1000}, {"1e", 1},
      {"1e+", 1}, {"1e-x", 1}, {"1e3.5", 1000}, {".5e1", 5}, {"e3", 0},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
      // Out of the double range: infinity above, zero (never -0) below.
      {"1e308", 1e308}, {"1e999", kInf}, {"-1e999", -kInf}, {"1e99999999999999999999", kInf},
      {"1e-999", 0}, {"-1e-999", 0}, {"0.0000001e-999", 0}, {"0e999999", 0},
      {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
  };
  for (const auto& [text, value] : cases) {
    const double v = NumValue(text);
    EXPECT_EQ(v, value) << '"' << text << '"';
    EXPECT_FALSE(std::signbit(v) && v == 0) << '"' << text << '"';
  }
  EXPECT_EQ(NumValue("1" + std::string(5000, '0')), kInf);
  EXPECT_EQ(NumValue("." + std::string(5000, '0') + "1"), 0);
  EXPECT_EQ(NumValue(std::string("12\0" "34", 5)), 12);
}

TEST(NumValue, HexAndOctal) {
  const ValueCase cases[] = {
      {"&H", 0}, {"&HZ", 0}, {"&h5a", 90}, {"&HFFFF", -1}, {"&H8000", -32768}, {"&H7FFF", 32767},
      {"&H00FF", 255}, {"&H0FFFF", 65535}, {"&H00008000", 32768},
      {"&H0000FFFF", 65535}, {"&H000000001", 1}, {"&H10000", 65536}, {"&H7FFFFFFF", 2147483647},
      {"&H80000000", -2147483648.0}, {"&HFFFFFFFF", -1}, {"&H100000000", 4294967296.0},
      {"&HFFFFFFFFFFFFFFFF", 18446744073709551615.0},
      {"&H10000000000000000", 18446744073709551616.0}, {"&HFFG", 255}, {"& H F F", 255},
      {"-&HFF", 0}, {"+&H1", 0}, {"&X1", 0}, {"&", 0}, {"&O", 0}, {"&O17", 15}, {"&o777", 511},
      {"&O177777", -1}, {"&O100000", -32768}, {"&O200000", 65536}, {"&O37777777777", -1},
      {"&O40000000000", 4294967296.0}, {"&O78", 7},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(NumValue(text), value) << '"' << text << '"';
  EXPECT_EQ(NumValue("&H" + std::string(400, 'F')), kInf);
}

TEST(NumForms, IndependentOfLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  bool german = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE", "German_Germany.1252"})
    german = german || std::setlocale(LC_NUMERIC, name) != nullptr;
  if (!german) GTEST_SKIP() << "no German locale";
  EXPECT_EQ(NumText(25.5), "25.5");
  EXPECT_EQ(NumValue("25.5"), 25.5);
  EXPECT_EQ(NumValue("25,5"), 25);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(RoundHalfEven, Values) {
  const std::pair<double, double> cases[] = {
      {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3},
      {-2.6, -3}, {1e300, 1e300}, {4503599627370495.5, 4503599627370496.0},
      {0.49999999999999994, 0}, {kInf, kInf},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(RoundHalfEven(in), out) << in;
  EXPECT_TRUE(std::isnan(RoundHalfEven(kNaN)));
}

TEST(ToInt, RoundsAndSaturates) {
  struct Case {
    double value;
    std::int32_t as32;
    std::int16_t as16;
    bool fits32;
  };
  const Case cases[] = {
      {2.5, 2, 2, true}, {-3.5, -4, -4, true}, {32767.5, 32768, 32767, true},
      {-32768.5, -32768, -32768, true}, {-32769, -32769, -32768, true},
      {2147483646.5, 2147483646, 32767, true}, {2147483647.5, 2147483647, 32767, false},
      {-2147483648.5, -2147483648, -32768, true}, {-2147483649.5, -2147483648, -32768, false},
      {1e300, 2147483647, 32767, false}, {-1e300, -2147483648, -32768, false},
      {kInf, 2147483647, 32767, false}, {-kInf, -2147483648, -32768, false},
      {kNaN, 0, 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToInt32(c.value), c.as32) << c.value;
    EXPECT_EQ(ToInt16(c.value), c.as16) << c.value;
    EXPECT_EQ(FitsInt32(c.value), c.fits32) << c.value;
  }
}

TEST(IntegerForms, SignedDecimalHexAndFileForm) {
  EXPECT_EQ(SignedDecimal(7), " 7");
  EXPECT_EQ(SignedDecimal(0), " 0");
  EXPECT_EQ(SignedDecimal(-3), "-3");
  EXPECT_EQ(SignedDecimal(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");

  EXPECT_EQ(HexText(0), "0");
  EXPECT_EQ(HexText(0xABC5A), "ABC5A");
  EXPECT_EQ(HexText(-1), "FFFFFFFF");
  EXPECT_EQ(HexText(-32768), "FFFF8000");

  const std::pair<double, const char*> cases[] = {
      {10, " 10 "}, {-2, "-2 "}, {0.5, " .5 "}, {-0.5, "-.5 "}, {0, " 0 "}, {-0.0, " 0 "},
      {1e20, " 1E+20 "},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FileForm(value), text) << value;
}

}  // namespace
}  // namespace kvn

namespace kvn {
namespace {

TEST(NumTextWithZero, ZeroBeforeThePointOfFractionsOnly) {
  const std::pair<double, const char*> cases[] = {
      {0.25, "0.25"}, {-0.5, "-0.5"}, {128, "128"}, {25.5, "25.5"}, {0, "0"},
      {-3, "-3"},     {1e-6, "1E-06"}, {-0.000012, "-0.000012"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(NumTextWithZero(value), text) << value;
}

// Texts from which the number rule reads something count as numbers; those
// refused as "not a number" are exactly ones the rule reads as 0 from nothing.
TEST(NumFormsTest, ATextIsANumberWhenItsLeadingNumberHasADigit) {
  for (const char* text : {"1", "-.5", "5A", "1,5", "1e", "  \t7", "\n-\n3", "&H1", "& h f",
                           "&o7", "0", "0.0", "&H0", "- 0"})
    EXPECT_TRUE(ScanNumber(text).hasDigits) << text;
  for (const char* text : {"", "abc", "--1", "..5", ".e1", "&", "&Hg", "&O8", "+&H1", "x1"}) {
    EXPECT_FALSE(ScanNumber(text).hasDigits) << text;
    EXPECT_EQ(NumValue(text), 0.0) << text;
  }
}

}  // namespace
}  // namespace kvn
