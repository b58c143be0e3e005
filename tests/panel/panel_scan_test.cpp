// The scan and its readings, without any window: the fake driver, a set
// clock, and the log in a temporary folder.
#include "panel/panel_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "logging/log_record.h"
#include "support/fake_driver.h"
#include "support/temp_folder.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

class PanelScanTest : public ::testing::Test {
 protected:
  PanelScanTest() {
    values.appDir = dir.string();
    scan.addReadingsListener([this](const Readings&, ReadGroups g) { told.push_back(g); });
  }
  std::string logFile() const {
    std::ifstream in(values.logFilePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const test::TempFolder folder{"kvn_scan"};
  const fs::path& dir = folder.path();
  test::FakeDriver driver;
  ProgramValues values;
  test::SteppingClock clock;
  PanelScan scan{driver, values, clock};
  std::vector<ReadGroups> told;
};

TEST_F(PanelScanTest, TicksReadTheStatusAndWhileScanningTheTemperatureAndTheRange) {
  driver.script("envReadDig", {2 | 16});
  scan.tick();
  const Readings& r = scan.readings();
  EXPECT_EQ(driver.calls, Calls{"envReadDig()"});
  ASSERT_TRUE(r.status && r.statusRead);
  EXPECT_TRUE(r.status->aboveHigh());
  EXPECT_FALSE(r.status->belowLow());
  EXPECT_FALSE(r.status->input0());  // inverted: its bit is set
  EXPECT_TRUE(r.status->input1());
  EXPECT_FALSE(r.temperature || r.temperatureRead || r.analogRead);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(told[0].status && !told[0].temperature && told[0].analog == 0);

  scan.setContinuousScan(true);
  scan.setSensor(1);
  scan.setAnalogRange(2, 3.5);
  values.anaFormat[3] = 2;
  driver.tempCurrent = 511;
  driver.tempHigh = 60;
  driver.tempLow = 256;
  driver.script("envReadAna", {7, -8});
  driver.calls.clear();
  scan.tick();
  EXPECT_EQ(driver.calls,
            (Calls{"envReadDig()", "envReadTemp(1)", "envReadAna(130)", "envReadAna(195)"}));
  ASSERT_TRUE(r.temperature && r.temperatureRead && r.analogRead);
  EXPECT_EQ(r.temperature->sensor, 1);
  EXPECT_EQ(r.temperature->current, -1);
  EXPECT_EQ(r.temperature->high, 60);
  EXPECT_EQ(r.temperature->low, -256);
  EXPECT_EQ(values.TempCurrent, -1);  // the shared values get them too
  EXPECT_FALSE(r.analog[1]);
  ASSERT_TRUE(r.analog[2] && r.analog[3]);
  EXPECT_EQ(r.analog[3]->value, -8);
  EXPECT_EQ(r.analog[3]->format, 2);
  EXPECT_TRUE(told.back().status && told.back().temperature);
  EXPECT_EQ(told.back().analog, 0b1100);

  // A range that leaves an input out keeps its latest reading; a read by
  // hand tells its own group only.
  scan.setAnalogRange(3.5, 4);
  scan.readAnalog();
  EXPECT_EQ(r.analog[3]->value, -8);
  EXPECT_TRUE(!told.back().status && !told.back().temperature);
  EXPECT_EQ(told.back().analog, 0b10000);
}

TEST_F(PanelScanTest, RecordsArePacedFromTheReadingsWhileALogIsOpen) {
  scan.setLogPeriod(1);
  driver.tempCurrent = 50;
  driver.setDefault("envReadAna", 3);
  for (int i = 0; i < 3; ++i) scan.tick();  // no log: no reads, no records
  EXPECT_EQ(driver.count("envReadTemp"), 0);
  std::vector<LogResult> results;
  scan.setRecordListener([&](const LogResult& result) { results.push_back(result); });

  ASSERT_EQ(scan.log().start(kDataHeader), std::nullopt);
  for (int i = 0; i < 4; ++i) scan.tick();  // records on the 2nd and 4th tick
  EXPECT_EQ(results, (std::vector<LogResult>{std::nullopt, std::nullopt}));
  ASSERT_EQ(scan.log().pause(), std::nullopt);
  for (int i = 0; i < 4; ++i) scan.tick();  // read, paced, not recorded
  EXPECT_EQ(results.size(), 2u);
  EXPECT_EQ(driver.count("envReadTemp"), 8);
  const std::string file = logFile();
  // The range is 0..0 until it is set.
  EXPECT_NE(file.find("       4 12-06-2026 09:15:00 >  25, 0, 0, 3, {null}, {null}, {null}"),
            std::string::npos)
      << file;
  EXPECT_FALSE(scan.logFailed());
}

// A record taker (MQTT) gets the log's records as the log writes them, and
// while no log is open the same pace of reads and records; a paused log
// pauses them too.
TEST_F(PanelScanTest, ARecordTakerKeepsTheLogsPaceWithOrWithoutALog) {
  scan.setLogPeriod(1);
  scan.setAnalogRange(0, 1);
  driver.tempCurrent = 50;
  driver.setDefault("envReadAna", 3);
  std::vector<ReadGroups> taken;
  scan.addRecordTaker([&](const Readings& r, ReadGroups g) {
    EXPECT_TRUE(r.temperature && r.temperature->current == 50);
    taken.push_back(g);
  });
  for (int i = 0; i < 4; ++i) scan.tick();  // no log: read on every tick, a record every 2nd
  EXPECT_EQ(driver.count("envReadTemp"), 4);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_TRUE(taken[0].status && taken[0].temperature);
  EXPECT_EQ(taken[0].analog, 0b11);
  EXPECT_EQ(logFile(), "");

  ASSERT_EQ(scan.log().start(kDataHeader), std::nullopt);
  for (int i = 0; i < 4; ++i) scan.tick();
  EXPECT_EQ(taken.size(), 4u);
  EXPECT_EQ(scan.recordsWritten(), 2u);  // the same two records
  ASSERT_EQ(scan.log().pause(), std::nullopt);
  for (int i = 0; i < 4; ++i) scan.tick();
  EXPECT_EQ(taken.size(), 4u);
  ASSERT_EQ(scan.log().close(), std::nullopt);
  for (int i = 0; i < 2; ++i) scan.tick();
  EXPECT_EQ(taken.size(), 5u);
}

}  // namespace
}  // namespace kvn
