// The scan tick and the logging controls, through the real widgets with the
// fake driver, scripted boxes and a set clock; the log goes to a temporary
// folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>

#include "common/num_forms.h"
#include "panel/env_form.h"
#include "support/fake_driver.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

using Lines = std::vector<std::string>;

class ScanLoggingTest : public ::testing::Test {
 protected:
  ScanLoggingTest() {
    // In the system's form, as the program gives it.
    values.appDir = QDir::toNativeSeparators(dir.path()).toStdString();
    form = std::make_unique<EnvForm>(PanelContext{driver, values, dialogs, clock});
  }

  template <typename T>
  T* child(const char* name) const {
    T* w = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  bool ticked(const char* box) const { return child<QCheckBox>(box)->isChecked(); }
  QString caption(const char* name) const { return child<QLabel>(name)->text(); }
  void click(const char* button) { child<QPushButton>(button)->click(); }
  void setPeriod(const char* text) { child<QLineEdit>("logTime")->setText(text); }

  std::string logPath() const {
    return QDir::toNativeSeparators(dir.filePath("kvnvb_DazEvo.Log")).toStdString();
  }
  bool logExists() const { return QFileInfo::exists(QString::fromStdString(logPath())); }
  Lines logLines() const {
    std::ifstream in(logPath(), std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(in), {}};
    Lines out;
    std::size_t start = 0;
    for (std::size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
      out.push_back(all.substr(start, end - start));
    EXPECT_EQ(start, all.size()) << "every line ends in CR LF";
    return out;
  }
  std::size_t records() const {
    std::size_t n = 0;
    for (const auto& l : logLines()) n += l.find(" > ") != std::string::npos;
    return n;
  }
  void startLogFromMenu() { child<QAction>("brdLogging")->trigger(); }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) form->scanTick();
  }

  QTemporaryDir dir;
  test::FakeDriver driver;
  ProgramValues values;
  test::ScriptedDialogs dialogs;
  test::SteppingClock clock;
  std::unique_ptr<EnvForm> form;
};

TEST_F(ScanLoggingTest, StatusBitsDriveTheFourIndicators) {
  struct Case {
    std::int32_t status;
    bool hi, lo, input0, input1;
  };
  const Case cases[] = {
      {0, false, false, true, true},   {3, true, true, true, true},
      {48, false, false, false, false}, {16, false, false, false, true},
      {32 | 2, true, false, true, false}, {-1, true, true, false, false},
  };
  for (const Case& c : cases) {
    driver.calls.clear();
    driver.script("envReadDig", {c.status});
    form->scanTick();
    EXPECT_EQ(driver.calls, Lines{"envReadDig()"}) << "nothing else is read with both items off";
    EXPECT_EQ(ticked("tmpAboveHigh"), c.hi) << c.status;
    EXPECT_EQ(ticked("tmpBelowLow"), c.lo) << c.status;
    EXPECT_EQ(ticked("envInput0"), c.input0) << c.status;
    EXPECT_EQ(ticked("envInput1"), c.input1) << c.status;
  }
}

TEST_F(ScanLoggingTest, ReadsRunOncePerTickWhileScanningOrLogging) {
  child<QAction>("brdContinuousScan")->trigger();
  EXPECT_TRUE(child<QAction>("brdContinuousScan")->isChecked());
  driver.calls.clear();
  form->scanTick();
  EXPECT_EQ(driver.count("envReadTemp"), 1);
  EXPECT_EQ(driver.count("envReadAna"), 9);

  startLogFromMenu();  // both marked: still once
  driver.calls.clear();
  form->scanTick();
  EXPECT_EQ(driver.count("envReadTemp"), 1);
  EXPECT_EQ(driver.count("envReadAna"), 9);

  child<QAction>("brdContinuousScan")->trigger();  // logging only
  driver.calls.clear();
  form->scanTick();
  EXPECT_EQ(driver.count("envReadTemp"), 1);
}

TEST_F(ScanLoggingTest, RecordsArePacedEveryNPlusOneTicks) {
  struct Case {
    const char* period;
    int ticks;
    std::size_t records;
  };
  const Case cases[] = {
      {"10", 10, 0}, {"10", 11, 1}, {"10", 22, 2}, {"10", 21, 1},
      {"0", 5, 5},   {"-3", 4, 4},  {"abc", 3, 3}, {"", 2, 2}, {"2.5", 7, 1}, {"2.5", 8, 2},
  };
  for (const Case& c : cases) {
    form.reset();  // its log closed first: Windows removes no open file
    QFile::remove(QString::fromStdString(logPath()));
    form = std::make_unique<EnvForm>(PanelContext{driver, values, dialogs, clock});
    setPeriod(c.period);
    startLogFromMenu();
    ticks(c.ticks);
    EXPECT_EQ(records(), c.records) << "period " << c.period << ", " << c.ticks << " ticks";
  }
}

TEST_F(ScanLoggingTest, PeriodBeyondTheSixteenBitCounterIsCapped) {
  setPeriod("100000");
  startLogFromMenu();
  ticks(32767);
  EXPECT_EQ(records(), 0u);
  form->scanTick();  // the 32768th tick writes; the counter never wraps
  EXPECT_EQ(records(), 1u);
}

TEST_F(ScanLoggingTest, DataRecordCarriesTheSevenControlsAndNulls) {
  driver.tempCurrent = 51;   // 25.5
  driver.tempHigh = 60;      // 30
  driver.tempLow = 511;      // -.5
  driver.script("envReadAna", {123, 45, 0, 255, 1, 2, 3, 4, 5});
  setPeriod("0");
  startLogFromMenu();
  form->scanTick();
  const Lines lines = logLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Log Started on 12-06-2026 at 09:15:00");
  EXPECT_EQ(lines[1], "Log File: " + logPath());
  EXPECT_EQ(lines[2],
            "Log Data Header: TempCurrent TempHighSet, TempLowSet, Analog0, Analog1, Analog2, "
            "Analog3");
  EXPECT_EQ(lines[3], "       3 12-06-2026 09:15:00 >  25.5, 30, -.5, 123, 45, 0, 255");
  EXPECT_EQ(caption("logCounter"), "4");

  // Analog labels never read (range 4..8): their fields are {null}.
  form = std::make_unique<EnvForm>(PanelContext{driver, values, dialogs, clock});
  child<QLineEdit>("anaStart")->setText("4");
  setPeriod("0");
  child<QPushButton>("logStop")->click();  // Start Log
  form->scanTick();
  EXPECT_EQ(logLines().back().substr(29), ">  25.5, 30, -.5, {null}, {null}, {null}, {null}");
}

// The record as it used to be built: from the seven controls' texts, each
// read back with the number rule.
std::string RecordFromControlTexts(const EnvForm& form) {
  std::string entry;
  auto field = [&entry](const QString& text) {
    if (!entry.empty()) entry += ',';
    const NumberScan scan = ScanNumber(text.toStdString());
    entry += scan.hasDigits && scan.wholeText ? " " + NumText(scan.value) : " {null}";
  };
  for (const char* box : {"tmpCurrent", "tmpHigh", "tmpLow"})
    field(form.findChild<QLineEdit*>(box)->text());
  for (int n = 0; n < 4; ++n) field(form.findChild<QLabel*>(QString("anaValue_%1").arg(n))->text());
  return entry;
}

TEST_F(ScanLoggingTest, RecordsFromTheReadingsMatchTheControlsTexts) {
  setPeriod("0");
  startLogFromMenu();
  const std::int32_t extremes[] = {0, -1, 1, 255, 256, 511, 512, -2147483647 - 1, 2147483647};
  for (int round = 0; round < 12; ++round) {
    // Every format on every recorded input, ranges that leave some unread
    // (at first inputs 0..3 were never read),
    // negative and extreme temperatures, and a board that answers -1.
    for (std::size_t n = 0; n < 4; ++n) values.anaFormat[n] = (round + static_cast<int>(n)) % 4;
    child<QLineEdit>("anaStart")->setText(QString::number((round + 4) % 5));
    child<QLineEdit>("anaEnd")->setText(QString::number(8 - round % 3));
    const bool failed = round % 4 == 3;
    driver.tempCurrent = failed ? -1 : extremes[round % 9];
    driver.tempHigh = failed ? -1 : extremes[(round + 4) % 9];
    driver.tempLow = failed ? -1 : -3 * round;
    std::vector<std::int32_t> analog;
    for (int n = 0; n < 9; ++n) analog.push_back(failed ? -1 : extremes[(round + n) % 9] / (n + 1));
    driver.script("envReadAna", analog);
    form->scanTick();
    const std::string last = logLines().back();
    EXPECT_EQ(last.substr(last.find(" > ") + 3), RecordFromControlTexts(*form)) << round;
  }
  EXPECT_EQ(records(), 12u);
}

TEST_F(ScanLoggingTest, RecordsWaitWhilePausedButCountingGoesOn) {
  setPeriod("1");
  startLogFromMenu();
  click("logPause");
  ticks(4);
  EXPECT_EQ(records(), 0u);
  click("logPause");
  form->scanTick();  // tick 5: the count went on during the pause
  EXPECT_EQ(records(), 0u);
  form->scanTick();
  EXPECT_EQ(records(), 1u);
}

TEST_F(ScanLoggingTest, GraphBoxNeverStaysTicked) {
  auto* graph = child<QCheckBox>("Graph_chk");
  graph->click();
  EXPECT_FALSE(graph->isChecked());
  graph->click();
  EXPECT_FALSE(graph->isChecked());
}

TEST_F(ScanLoggingTest, LoggingMenuStartsOnceAndShowsTheFrame) {
  startLogFromMenu();
  EXPECT_TRUE(child<QAction>("brdLogging")->isChecked());
  EXPECT_FALSE(child<QGroupBox>("logFrame")->isHidden());
  EXPECT_TRUE(child<QGroupBox>("brdFrame")->isHidden());
  EXPECT_EQ(caption("logCounter"), "3");
  EXPECT_EQ(form->scan().logState(), LogState::kRecording);
  EXPECT_EQ(child<QPushButton>("logStop")->text(), "Stop Log");

  click("logReturn");
  EXPECT_TRUE(child<QGroupBox>("logFrame")->isHidden());
  startLogFromMenu();  // again while logging: only the frame
  EXPECT_TRUE(child<QAction>("brdLogging")->isChecked());
  EXPECT_FALSE(child<QGroupBox>("logFrame")->isHidden());
  EXPECT_EQ(logLines().size(), 3u);
}

TEST_F(ScanLoggingTest, StopStartPauseFlushAndMessage) {
  startLogFromMenu();
  click("logStop");
  EXPECT_EQ(form->scan().logState(), LogState::kClosed);
  EXPECT_EQ(caption("logCounter"), "0");
  EXPECT_EQ(child<QPushButton>("logStop")->text(), "Start Log");
  EXPECT_FALSE(child<QAction>("brdLogging")->isChecked());

  click("logStop");  // Start Log: no header line
  EXPECT_EQ(caption("logCounter"), "2");
  EXPECT_TRUE(child<QAction>("brdLogging")->isChecked());
  EXPECT_EQ(child<QPushButton>("logStop")->text(), "Stop Log");

  click("logPause");
  EXPECT_EQ(form->scan().logState(), LogState::kPaused);
  click("logFlush");  // nothing while paused
  click("logPause");
  EXPECT_EQ(form->scan().logState(), LogState::kRecording);
  EXPECT_EQ(child<QPushButton>("logPause")->text(), "Pause");
  click("logFlush");
  EXPECT_EQ(caption("logCounter"), "3");

  dialogs.answers = {"fan test"};
  click("logMsg");
  EXPECT_EQ(dialogs.asked.back().text, "User Message:");
  EXPECT_EQ(dialogs.asked.back().title, "Log Message from User");
  EXPECT_EQ(caption("logCounter"), "4");

  const Lines l = logLines();
  ASSERT_EQ(l.size(), 10u);
  EXPECT_EQ(l[3], "Log Closed on 12-06-2026 at 09:15:00");
  EXPECT_EQ(l[4], "Log Started on 12-06-2026 at 09:15:00");
  EXPECT_EQ(l[6], "Log Paused on 12-06-2026 at 09:15:00");
  EXPECT_EQ(l[7], "Log Resumed on 12-06-2026 at 09:15:00");
  EXPECT_EQ(l[8], "Log Flushed on 12-06-2026 at 09:15:00");
  EXPECT_EQ(l[9], "       3 12-06-2026 09:15:00 # fan test");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ScanLoggingTest, MessageWhilePausedEndsThePauseWithoutAResumeLine) {
  startLogFromMenu();
  click("logPause");
  dialogs.answers = {"note"};
  click("logMsg");
  EXPECT_EQ(form->scan().logState(), LogState::kRecording);
  EXPECT_EQ(logLines().back(), "       3 12-06-2026 09:15:00 # note");
}

TEST_F(ScanLoggingTest, MessageWithNoLogOpenIsToldAndNothingWritten) {
  dialogs.answers = {"hello"};
  click("logMsg");
  EXPECT_EQ(form->scan().logState(), LogState::kClosed);
  EXPECT_FALSE(logExists());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find("No log is open"), std::string::npos);

  dialogs.shown.clear();
  click("logMsg");  // cancelled: nothing at all
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ScanLoggingTest, ClearOnlyOnTheExactAnswer) {
  startLogFromMenu();
  dialogs.answers = {"clear log", "Clear Log "};
  click("logClear");
  click("logClear");
  EXPECT_EQ(dialogs.asked[0].text,
            "Type 'Clear Log' at entry to empty log and restart if previously enabled");
  EXPECT_EQ(dialogs.asked[0].title, "Verify Log Clear");
  EXPECT_EQ(logLines().size(), 3u);

  click("logPause");
  dialogs.answers = {"Clear Log"};
  click("logClear");  // restarts the file; the pause stays
  EXPECT_EQ(form->scan().logState(), LogState::kPaused);
  const Lines l = logLines();
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0], "Log ReStarted on 12-06-2026 at 09:15:00");
  EXPECT_EQ(caption("logCounter"), "3");

  click("logStop");
  dialogs.answers = {"Clear Log"};
  click("logClear");  // no log open: the file is deleted
  EXPECT_FALSE(logExists());
  EXPECT_EQ(caption("logCounter"), "0");
  EXPECT_EQ(form->scan().logState(), LogState::kClosed);
}

TEST_F(ScanLoggingTest, LogThatCannotBeOpenedIsToldAndLeftClosed) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(logPath())));  // a folder in its place
  startLogFromMenu();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find(logPath()), std::string::npos);
  EXPECT_EQ(form->scan().logState(), LogState::kClosed);
  EXPECT_TRUE(form->logFailed());
  EXPECT_FALSE(child<QAction>("brdLogging")->isChecked());
  EXPECT_EQ(child<QPushButton>("logStop")->text(), "Start Log");
  EXPECT_FALSE(child<QGroupBox>("logFrame")->isHidden());

  click("logStop");  // Start Log fails the same way
  EXPECT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(form->scan().logState(), LogState::kClosed);
  ticks(3);  // the scan does not write while no log is open
  EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(ScanLoggingTest, FailedClearWithNoLogOpenLeavesTheControlsAlone) {
  // A folder with content in the log's place cannot be deleted.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(logPath()) + "/inside"));
  EXPECT_EQ(child<QPushButton>("logStop")->text(), "Stop Log");  // as the form has it
  dialogs.answers = {"Clear Log"};
  click("logClear");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find(logPath()), std::string::npos);
  EXPECT_EQ(child<QPushButton>("logStop")->text(), "Stop Log");
  EXPECT_EQ(form->scan().logState(), LogState::kClosed);
  EXPECT_TRUE(form->logFailed());
}

TEST_F(ScanLoggingTest, QuitClosesAnOpenOrPausedLogWithItsExitLines) {
  startLogFromMenu();
  click("logPause");
  form->closeLogForExit();
  const Lines l = logLines();
  ASSERT_EQ(l.size(), 6u);
  EXPECT_EQ(l[3], "Log Paused on 12-06-2026 at 09:15:00");
  EXPECT_EQ(l[4], "       3 12-06-2026 09:15:00 # Log Closed by Program Exit");
  EXPECT_EQ(l[5], "Log Closed on 12-06-2026 at 09:15:00");

  // With no log ever started the file is not touched.
  QFile::remove(QString::fromStdString(logPath()));
  form->closeLogForExit();
  EXPECT_FALSE(logExists());
}

}  // namespace
}  // namespace kvn
