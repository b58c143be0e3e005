#include "logging/log_record.h"

#include <gtest/gtest.h>

#include <string>

namespace kvn {
namespace {

TEST(CounterField, RightAlignedInEightKeepingTheLastEightDigits) {
  EXPECT_EQ(CounterField(3), "       3");
  EXPECT_EQ(CounterField(12345678), "12345678");
  EXPECT_EQ(CounterField(123456789), "23456789");
  EXPECT_EQ(CounterField(2147483647), "47483647");
}

TEST(DataRecordText, TemperaturesInDegreesAnalogAsReadAndNullForWhatWasNotRead) {
  Readings r;
  EXPECT_EQ(DataRecordText(r), " {null}, {null}, {null}, {null}, {null}, {null}, {null}");
  r.temperature = Readings::Temperature{1, 51, 60, -1};
  r.analog[0] = Readings::Analog{123, 0};
  r.analog[2] = Readings::Analog{-2147483647 - 1, 3};
  r.analog[4] = Readings::Analog{9, 0};  // beyond the record's four inputs
  EXPECT_EQ(DataRecordText(r), " 25.5, 30, -.5, 123, {null}, -2147483648, {null}");
  r.temperature = Readings::Temperature{0, 2147483647, -2147483647 - 1, 0};
  EXPECT_EQ(DataRecordText(r).substr(0, 35), " 1073741823.5, -1073741824, 0, 123,");
}

}  // namespace
}  // namespace kvn
