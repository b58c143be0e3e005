// The hand-operated board functions of the main panel, through the real
// widgets: with the fake driver, and once with the simulated board's library.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "driver/library_driver.h"
#include "panel/board_logic.h"
#include "panel/env_form.h"
#include "support/fake_driver.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

using Texts = std::vector<std::string>;

// Finds the form's controls by name and works them as a user does.
class Panel {
 public:
  explicit Panel(EnvForm& form) : form_(form) {}
  template <typename T>
  T* child(const QString& name) const {
    T* w = form_.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  void click(const char* button) { child<QPushButton>(button)->click(); }
  void clickBox(const char* box) { child<QCheckBox>(box)->click(); }
  void menu(const char* item) { child<QAction>(item)->trigger(); }
  void type(const char* field, const QString& t) { child<QLineEdit>(field)->setText(t); }
  QString text(const char* field) const { return child<QLineEdit>(field)->text(); }
  void pick(const char* list, int index) {
    auto* l = child<QComboBox>(list);
    l->setCurrentIndex(index);
    emit l->activated(index);
  }
  QLabel* value(int channel) const { return child<QLabel>(QString("anaValue_%1").arg(channel)); }
  void clickValue(int channel) { QTest::mouseClick(value(channel), Qt::LeftButton); }
  bool shown(const char* frame) const { return !child<QGroupBox>(frame)->isHidden(); }
  QString caption(const char* label) const { return child<QLabel>(label)->text(); }

 private:
  EnvForm& form_;
};

class BoardFunctionsTest : public ::testing::Test, protected Panel {
 protected:
  BoardFunctionsTest() : Panel(form), form(PanelContext{driver, values, dialogs, clock}) {}

  test::FakeDriver driver;
  ProgramValues values;
  test::ScriptedDialogs dialogs;
  test::SteppingClock clock;
  EnvForm form;
};

TEST_F(BoardFunctionsTest, TemperatureReadSignCorrectsIntoValuesAndTexts) {
  driver.tempCurrent = 511;
  driver.tempHigh = 51;
  driver.tempLow = 256;
  click("tmpRead");
  EXPECT_EQ(driver.calls, Texts{"envReadTemp(0)"});  // nothing selected: sensor 0
  EXPECT_EQ(text("tmpCurrent"), "-.5");
  EXPECT_EQ(text("tmpHigh"), "25.5");
  EXPECT_EQ(text("tmpLow"), "-128");
  EXPECT_EQ(values.TempCurrent, -1);
  EXPECT_EQ(values.TempHighSet, 51);
  EXPECT_EQ(values.TempLowSet, -256);

  pick("tmpSensor", 1);
  driver.tempCurrent = 500;
  form.TemperatureRead();  // as the scan runs it
  EXPECT_EQ(driver.calls.back(), "envReadTemp(1)");
  EXPECT_EQ(values.TempSensorNum, 1);
  EXPECT_EQ(text("tmpCurrent"), "-6");
}

TEST_F(BoardFunctionsTest, SetHiLoWritesDoubledSetPointsAsTyped) {
  const std::array<const char*, 3> cases[] = {
      {"25.5", "-10", "envWriteTemp(51,-20,0)"},
      {"30.2", "30.3", "envWriteTemp(60,61,0)"},
      {"200", "250", "envWriteTemp(400,500,0)"},  // no range check, high below low
  };
  for (const auto& [high, low, call] : cases) {
    driver.calls.clear();
    type("tmpHigh", high);
    type("tmpLow", low);
    click("tmpSet");
    EXPECT_EQ(driver.calls, Texts{call});
    EXPECT_EQ(text("tmpHigh"), high);  // not refreshed by the write
  }
  EXPECT_EQ(values.TempHighSet, 400);
  EXPECT_EQ(values.TempLowSet, 500);
  pick("tmpSensor", 1);
  click("tmpSet");
  EXPECT_EQ(driver.calls.back(), "envWriteTemp(400,500,1)");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(BoardFunctionsTest, SetHiLoRefusesWhatCannotBeSentAndSaysWhichField) {
  struct Case {
    const char* high;
    const char* low;
    bool highWrong, lowWrong;
    const char* why;
  };
  const Case cases[] = {
      {"", "20", true, false, "not a number"},
      {"-", "abc", true, true, "not a number"},
      {"30", "-1e300", false, true, "out of range"},
  };
  values.TempHighSet = 7;
  values.TempLowSet = 8;
  values.TempSensorNum = 9;
  for (const Case& c : cases) {
    dialogs.shown.clear();
    type("tmpHigh", c.high);
    type("tmpLow", c.low);
    click("tmpSet");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const std::string& box = dialogs.shown[0].text;
    EXPECT_EQ(box.find("High Temp") != std::string::npos, c.highWrong) << box;
    EXPECT_EQ(box.find("Low Temp") != std::string::npos, c.lowWrong) << box;
    EXPECT_NE(box.find(c.why), std::string::npos) << box;
  }
  EXPECT_TRUE(driver.calls.empty());
  EXPECT_EQ(values.TempHighSet + values.TempLowSet + values.TempSensorNum, 24);
}

// Whatever the range fields hold, the labels enabled are the channels read,
// all within 0..8, and labels outside keep their captions.
TEST_F(BoardFunctionsTest, AnalogRangeEnablesAndReadsTheSameChannels) {
  using V = std::vector<int>;
  const std::tuple<const char*, const char*, V> cases[] = {
      {"2", "5", {2, 3, 4, 5}},
      {"5", "2", {}},
      {"0", "", {0}},
      {"-3", "20", {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"2.5", "5.5", {3, 4, 5}},
  };
  driver.setDefault("envReadAna", -7);
  for (const auto& [start, end, channels] : cases) {
    for (int n = 0; n < 10; ++n) value(n)->setText("old");
    driver.calls.clear();
    type("anaStart", start);
    type("anaEnd", end);
    click("anaRead");
    Texts reads;
    for (int n : channels) reads.push_back("envReadAna(" + std::to_string(128 + n) + ")");
    EXPECT_EQ(driver.calls, reads) << start << ".." << end;
    for (int n = 0; n < kAnalogChannels; ++n) {
      const bool in = std::find(channels.begin(), channels.end(), n) != channels.end();
      EXPECT_EQ(value(n)->isEnabled(), in) << n;
      EXPECT_EQ(value(n)->text(), in ? "-7" : "old") << n;
    }
    EXPECT_EQ(value(9)->text(), "old");
  }
}

TEST_F(BoardFunctionsTest, ValueLabelClickEditsThatChannelsFormat) {
  form.show();
  clickValue(4);
  EXPECT_FALSE(shown("anaFrame"));
  EXPECT_TRUE(shown("anaTypeFrame"));
  EXPECT_EQ(caption("anaChanLabel"), "Channel 4");
  pick("anaTypeList", 2);  // Differential, Unipolar
  click("anaTypeReturn");
  EXPECT_TRUE(shown("anaFrame"));
  EXPECT_FALSE(shown("anaTypeFrame"));
  clickValue(8);
  pick("anaTypeList", 3);
  clickValue(0);
  pick("anaTypeList", 1);
  EXPECT_EQ(driver.count("envReadAna"), 0);  // choosing and returning read nothing

  form.AnalogRead();
  EXPECT_EQ(driver.callsTo("envReadAna"),
            (Texts{"envReadAna(160)", "envReadAna(129)", "envReadAna(130)", "envReadAna(131)",
                   "envReadAna(196)", "envReadAna(133)", "envReadAna(134)", "envReadAna(135)",
                   "envReadAna(232)"}));

  // Coming back to channel 4 shows its format again and leaves the table be.
  clickValue(4);
  EXPECT_EQ(caption("anaChanLabel"), "Channel 4");
  EXPECT_EQ(child<QComboBox>("anaTypeList")->currentIndex(), 2);
  EXPECT_EQ(values.anaFormat, (std::array<std::int32_t, 9>{1, 0, 0, 0, 2, 0, 0, 0, 3}));
}

TEST_F(BoardFunctionsTest, FrameClickIsChannelZeroAndDisabledLabelsTakeNoClicks) {
  form.show();
  values.anaFormat[0] = 3;
  type("anaStart", "1");
  ASSERT_FALSE(value(0)->isEnabled());
  clickValue(0);  // not even as a click on the frame
  QTest::mouseClick(child<QLabel>("AnaLab_3"), Qt::LeftButton);
  EXPECT_TRUE(shown("anaFrame"));

  auto* frame = child<QGroupBox>("anaFrame");
  QPoint bare(-1, -1);  // a point of the frame with nothing on it
  for (int y = frame->height() - 2; y > 0 && bare.x() < 0; --y)
    for (int x = 2; x < frame->width() - 2 && bare.x() < 0; ++x)
      if (frame->childAt(x, y) == nullptr) bare = QPoint(x, y);
  ASSERT_GE(bare.x(), 0);
  QTest::mouseClick(frame, Qt::LeftButton, {}, bare);
  EXPECT_TRUE(shown("anaTypeFrame"));
  EXPECT_EQ(caption("anaChanLabel"), "Channel 0");
  EXPECT_EQ(child<QComboBox>("anaTypeList")->currentIndex(), 3);
  EXPECT_EQ(values.anaFormat[0], 3);
}

TEST_F(BoardFunctionsTest, BoardFunctionBoxesWriteTheirBitOverTheBoardsSetting) {
  // Relays, each read-back followed by the unused result of the setting. The
  // last one finds Relay 1 on at the board although its box is clear.
  driver.script("envSetDig", {0, 0, 32, 0, 48, 0, 16, 0, 16, 0});
  clickBox("envRelay0");
  clickBox("envRelay1");
  clickBox("envRelay0");
  clickBox("envRelay1");
  clickBox("envRelay0");
  EXPECT_EQ(driver.calls,
            (Texts{"envSetDig(-1)", "envSetDig(2)", "envSetDig(-1)", "envSetDig(3)",
                   "envSetDig(-1)", "envSetDig(1)", "envSetDig(-1)", "envSetDig(0)",
                   "envSetDig(-1)", "envSetDig(3)"}));

  driver.calls.clear();
  child<QCheckBox>("envDisableHighThermo")->setChecked(true);
  child<QCheckBox>("envDisableLowThermo")->setChecked(true);
  driver.script("envSetEnables", {3, 0, 3, 0, 0x1FF, 0});
  clickBox("envDisableHighThermo");
  clickBox("envDisableLowThermo");
  clickBox("envDisableLowThermo");
  clickBox("envForceFan");
  clickBox("envForceFan");
  EXPECT_EQ(driver.calls,
            (Texts{"envSetEnables(-1)", "envSetEnables(1)", "envSetEnables(-1)",
                   "envSetEnables(2)", "envSetEnables(-1)", "envSetEnables(511)", "dazEvo(1)",
                   "dazEvo(0)"}));

  // What each box wrote last, whatever the board read back.
  const BoardOutputs& written = values.outputs;
  EXPECT_EQ(written.relay0, true);
  EXPECT_EQ(written.relay1, false);
  EXPECT_EQ(written.highThermostatDisabled, false);
  EXPECT_EQ(written.lowThermostatDisabled, true);
  EXPECT_EQ(written.fanForced, false);
}

TEST_F(BoardFunctionsTest, RegistersAndLed) {
  driver.script("vbapp_Read", {-1, 90, 0});
  click("brdRead");  // no offset selected: offset 0
  EXPECT_EQ(text("brdValue"), "&HFFFFFFFF");
  pick("brdOffset", 3);
  click("brdRead");
  EXPECT_EQ(text("brdValue"), "&H5A");
  click("brdWrite");
  click("brdRead");
  EXPECT_EQ(text("brdValue"), "&H0");
  click("brdLEDOn");
  click("brdLEDOff");
  EXPECT_EQ(driver.calls, (Texts{"vbapp_Read(0)", "vbapp_Read(3)", "vbapp_Write(3,90)",
                                 "vbapp_Read(3)", "vbapp_LedOn()", "vbapp_LedOff()"}));

  const std::pair<const char*, std::int32_t> cases[] = {
      {"90", 90}, {"5A", 5}, {"", 0}, {"&HFFFF", -1}, {"-2147483648", INT32_MIN}, {"2.5", 2},
  };
  for (const auto& [t, written] : cases) {
    driver.calls.clear();
    type("brdValue", t);
    click("brdWrite");
    EXPECT_EQ(driver.calls, Texts{"vbapp_Write(3," + std::to_string(written) + ")"}) << t;
  }
  EXPECT_TRUE(dialogs.shown.empty());

  // A number beyond the 32-bit range is told and not written.
  driver.calls.clear();
  for (const char* t : {"2147483648", "2147483647.5", "&H100000000", "-1e999"}) {
    dialogs.shown.clear();
    type("brdValue", t);
    click("brdWrite");
    ASSERT_EQ(dialogs.shown.size(), 1u) << t;
    EXPECT_NE(dialogs.shown[0].text.find("out of range"), std::string::npos);
  }
  EXPECT_TRUE(driver.calls.empty());
}

TEST_F(BoardFunctionsTest, HelpAndAboutBoxes) {
  driver.script("vbapp_Test", {50, -1});
  driver.script("vbapp_Version", {5});
  menu("brdDLLTest");
  menu("brdDLLTest");
  menu("brdDLLVersion");
  menu("brdContact");
  menu("brdProducts");
  EXPECT_EQ(driver.calls, (Texts{"vbapp_Test(25)", "vbapp_Test(25)", "vbapp_Version()"}));
  EXPECT_EQ(dialogs.texts(), (Texts{"DLL Properly Attached", "DLL Error O:25  I:-1",
                                    "DLL Version: 5..5", ContactText()}));
  EXPECT_EQ(dialogs.shown[2].title, kAppTitle);
  EXPECT_EQ(dialogs.shown[3].title, "Contact Information");

  menu("brdQuickStart");
  EXPECT_EQ(dialogs.shown.size(), 5u);
  EXPECT_EQ(driver.calls.size(), 3u);
}

#ifdef KVN_SIM_LIBRARY_PATH
TEST(BoardFunctionsOnSimTest, PanelWorksTheSimulatedBoard) {
  LibraryDriver driver(KVN_SIM_LIBRARY_PATH);
  ASSERT_EQ(driver.load(), std::nullopt);
  ProgramValues values;
  test::ScriptedDialogs dialogs;
  test::SteppingClock clock;
  EnvForm form(PanelContext{driver, values, dialogs, clock});
  Panel p(form);

  // Set points go out and come back, negative ones through the 9-bit form.
  p.type("tmpHigh", "31.5");
  p.type("tmpLow", "-10");
  p.click("tmpSet");
  p.type("tmpHigh", "");
  p.click("tmpRead");
  EXPECT_EQ(p.text("tmpHigh"), "31.5");
  EXPECT_EQ(p.text("tmpLow"), "-10");

  // A relay switched on shows at its input; the other one is left alone.
  const int inputs = 0x30;
  p.clickBox("envRelay0");
  EXPECT_EQ(driver.envReadDig() & inputs, 0x20);
  p.clickBox("envRelay1");
  EXPECT_EQ(driver.envReadDig() & inputs, 0);
  p.clickBox("envRelay0");
  EXPECT_EQ(driver.envReadDig() & inputs, 0x10);

  // A general purpose register keeps what is written.
  p.pick("brdOffset", 12);
  p.type("brdValue", "&HFFFFFFFF");
  p.click("brdWrite");
  p.type("brdValue", "");
  p.click("brdRead");
  EXPECT_EQ(p.text("brdValue"), "&HFFFFFFFF");
  EXPECT_TRUE(dialogs.shown.empty());
}
#endif

}  // namespace
}  // namespace kvn
