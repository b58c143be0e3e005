#include "app/state_file.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "shared/delay.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

class StateFileTest : public ::testing::Test {
 protected:
  std::string path() const { return dir_.filePath("kvnvb_DazEvo.set").toStdString(); }
  void put(const std::string& bytes) {
    std::ofstream(path(), std::ios::binary) << bytes;
  }
  std::string get() const {
    std::ifstream in(path(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  QTemporaryDir dir_;
};

TEST_F(StateFileTest, ReadsIndexAndPeriodInTheirForms) {
  struct Case {
    const char* content;
    std::optional<std::int32_t> index;
    std::optional<std::string> logTime;
  };
  const Case cases[] = {
      {" 2 \r\n25\r\n", 2, "25"},
      {" 0 \r\n10\r\n", 0, "10"},
      {"-3 \r\n10\r\n", -3, "10"},
      {"1\n", 1, std::nullopt},                       // one line: period stays
      {" 0 \r\n\r\n", 0, ""},                          // an empty second line: empty period
      {" 0 \r\n  \r\n", 0, ""},
      {"", std::nullopt, std::nullopt},               // empty file changes nothing
      {"\r\n\r\n", std::nullopt, std::nullopt},
      {" 1 \r\n1,5\r\n", 1, "1"},                     // the period ends at a comma
      {" 1 \r\n\"1,5\"\r\n", 1, "1,5"},               // unless it is quoted
      {"abc\r\n7\r\n", 0, "7"},                       // a first field that is no number
      {"&H10\r\n7\r\n", 16, "7"},
      {"1e30\r\n7\r\n", INT32_MAX, "7"},              // held at the 32-bit limit
      {"-1e30\r\n7\r\n", INT32_MIN, "7"},
      {"2.5\r\n7\r\n", 2, "7"},                       // halves go to the even neighbour
      {"  4  ,  12  \r\n", 4, "12"},                  // fields, not lines
  };
  for (const Case& c : cases) {
    put(c.content);
    const StoredState s = ReadStateFile(path());
    EXPECT_EQ(s.brdAddrIndex, c.index) << c.content;
    EXPECT_EQ(s.logTime, c.logTime) << c.content;
  }
}

TEST_F(StateFileTest, MissingOrUnreadableFileGivesNothing) {
  StoredState s = ReadStateFile(path());
  EXPECT_FALSE(s.brdAddrIndex);
  EXPECT_FALSE(s.logTime);
  s = ReadStateFile(dir_.path().toStdString());  // a folder
  EXPECT_FALSE(s.brdAddrIndex);
}

TEST_F(StateFileTest, BinaryAndOversizedContentNeverCrashes) {
  std::string junk(3 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 131) % 251);
  put(junk);
  (void)ReadStateFile(path());
  put(std::string(2 * 1024 * 1024, '9'));  // one enormous number
  EXPECT_EQ(ReadStateFile(path()).brdAddrIndex, INT32_MAX);
  put("\"" + std::string(1024 * 1024, 'x'));  // an unterminated quote
  (void)ReadStateFile(path());
}

TEST_F(StateFileTest, WritesTwoCrLfLinesAndReadsThemBack) {
  ASSERT_FALSE(WriteStateFile(path(), 0, "10"));
  EXPECT_EQ(get(), " 0 \r\n10\r\n");
  ASSERT_FALSE(WriteStateFile(path(), -3, "1,5"));
  EXPECT_EQ(get(), "-3 \r\n1,5\r\n");
  ASSERT_FALSE(WriteStateFile(path(), 2, "25"));
  const StoredState s = ReadStateFile(path());
  EXPECT_EQ(s.brdAddrIndex, 2);
  EXPECT_EQ(s.logTime, "25");
}

TEST_F(StateFileTest, FailedWriteIsReportedAndKeepsTheOldFile) {
  put(" 1 \r\n25\r\n");
  // A folder where the file's folder should be: nothing can be written there.
  const std::string blocked = path() + "/kvnvb_DazEvo.set";
  EXPECT_TRUE(WriteStateFile(blocked, 0, "10").has_value());
  EXPECT_EQ(get(), " 1 \r\n25\r\n");
}

TEST(DelaySeconds, WaitsUntilMoreThanTheSecondsHavePassed) {
  test::SteppingClock clock(100.0, 0.05);
  DelaySeconds(clock, 0.25f);
  // Reads at 100.00 (start), .05, .10, .15, .20, .25 (not more), .30 (done).
  EXPECT_EQ(clock.reads, 7);
}

TEST(DelaySeconds, ClockGoingBackAtMidnightEndsTheWait) {
  struct Midnight : Clock {
    int reads = 0;
    double secondsSinceMidnight() override { return reads++ == 0 ? 86399.9 : 0.0; }
    LocalDateTime now() override { return {}; }
  } clock;
  DelaySeconds(clock, 0.25f);
  EXPECT_EQ(clock.reads, 2);
}

}  // namespace
}  // namespace kvn
