// Reading the chart sources through the driver.
#include "chart/chart_sampling.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_driver.h"

namespace kvn {
namespace {

using Calls = std::vector<std::string>;

TEST(ChartSamplingTest, AnalogSourcesReadTheirInputAfterTheTemperatures) {
  test::FakeDriver driver;
  ProgramValues values;
  values.TempSensorNum = 1;
  values.anaFormat[2] = 2;
  values.anaFormat[3] = 1;
  driver.script("envReadAna", {77, -5});
  EXPECT_EQ(ReadChartValue(driver, values, 2), 77);
  EXPECT_EQ(ReadChartValue(driver, values, 8), -5);  // humidity: input 3, its format
  EXPECT_EQ(ReadChartValue(driver, values, 3), 0);
  EXPECT_EQ(driver.calls, (Calls{"envReadTemp(1)", "envReadAna(194)", "envReadTemp(1)",
                                 "envReadAna(163)", "envReadTemp(1)", "envReadAna(163)"}));

  driver.calls.clear();
  values.anaFormat[2] = 7;  // not a format: read as format 0
  ReadChartValue(driver, values, 2);
  values.anaFormat[0] = 3;
  ReadChartValue(driver, values, 0);
  EXPECT_EQ(driver.callsTo("envReadAna"), (Calls{"envReadAna(130)", "envReadAna(224)"}));
}

TEST(ChartSamplingTest, OnlyTheChosenTemperatureIsSignCorrected) {
  test::FakeDriver driver;
  ProgramValues values;
  driver.tempCurrent = 300;
  driver.tempHigh = 256;
  driver.tempLow = 511;
  EXPECT_EQ(ReadChartValue(driver, values, 9), -106);
  EXPECT_EQ(values.TempCurrent, -212);
  EXPECT_EQ(values.TempHighSet, 256);

  EXPECT_EQ(ReadChartValue(driver, values, 10), -128);
  EXPECT_EQ(values.TempCurrent, 300);  // read afresh, left raw
  EXPECT_EQ(values.TempHighSet, -256);
  EXPECT_EQ(ReadChartValue(driver, values, 11), -0.5);

  driver.tempCurrent = 255;
  EXPECT_EQ(ReadChartValue(driver, values, 9), 127.5);
}

TEST(ChartSamplingTest, OtherSourcesGiveZeroAfterTheTemperatureRead) {
  test::FakeDriver driver;
  ProgramValues values;
  driver.setDefault("envReadAna", 9);
  for (int n : {12, -1, 1000}) EXPECT_EQ(ReadChartValue(driver, values, n), 0);
  EXPECT_EQ(driver.calls, (Calls{"envReadTemp(0)", "envReadTemp(0)", "envReadTemp(0)"}));
}

}  // namespace
}  // namespace kvn
