// The settings dialog through its real widgets, beside a strip chart window
// that shares its channel table: what the chart's title shows at its next
// tick, and the colour chooser's custom colours.
#include "chart_settings/settings_dialog.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "chart/strip_chart_window.h"
#include "shared/qt_color.h"
#include "support/fake_driver.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

class NoKeys : public KeyState {
  std::int16_t GetAsyncKeyState(int) override { return 0; }
};

class SettingsDialogTest : public ::testing::Test {
 protected:
  SettingsDialogTest() : chartWindow({driver, values, dialogs, keys, chart, dir.path().toStdString()}) {
    chartWindow.load();  // channel 0 alone in use: its title heads the chart
  }

  SettingsDialog& open(int channel = 0) {
    dialog = std::make_unique<SettingsDialog>(chart.chanTable, channel, dialogs);
    dialog->show();
    return *dialog;
  }
  template <typename T>
  T* field(const char* name) {
    T* w = dialog->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void click(const char* button) { field<QPushButton>(button)->click(); }
  QString chartTitleAtNextTick() {
    chartWindow.tick();
    return chartWindow.findChild<QLabel*>("graphtitle_lbl")->text();
  }
  std::int32_t swatch() {
    return ToColorRef(field<QFrame>("Color_pic")->palette().color(QPalette::Window));
  }

  QTemporaryDir dir;
  test::FakeDriver driver;
  ProgramValues values;
  test::ScriptedDialogs dialogs;
  NoKeys keys;
  ChartValues chart;
  StripChartWindow chartWindow;
  std::unique_ptr<SettingsDialog> dialog;
};

TEST_F(SettingsDialogTest, ShowsTheRecordInItsFields) {
  chart.chanTable[0].YMin = 0.5;
  open();
  EXPECT_EQ(dialog->windowTitle(), "Settings");
  EXPECT_EQ(field<QLineEdit>("ymin_txt")->text(), "0.5");
  EXPECT_EQ(field<QLineEdit>("ymax_txt")->text(), "10");
  EXPECT_EQ(field<QLineEdit>("Title_txt")->text(), "Analog Sensor 1");
  EXPECT_EQ(field<QLineEdit>("Abbrev_txt")->text(), "Ana1");
  EXPECT_EQ(field<QLineEdit>("ytext_txt")->text(), "Volts*5/256");
  EXPECT_EQ(field<QLineEdit>("yunits_txt")->text(), "V");
  EXPECT_EQ(swatch(), 0x000000);
  EXPECT_EQ(field<QPushButton>("Color_cmd")->text(), "....");
}

// Texts are bytes of the system's code page; bytes that are no character of
// the toolkit's (Latin-1 in a UTF-8 locale) are kept as they were loaded.
TEST_F(SettingsDialogTest, OkKeepsTextsLeftAsTheyWereByteForByte) {
  chart.chanTable[0].Title = "Temp \xB0" "C";
  chart.chanTable[0].Abbrev = "\xE9t\xE9";
  open();
  field<QLineEdit>("yunits_txt")->setText("mV");
  click("Ok_cmd");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(chart.chanTable[0].Title, "Temp \xB0" "C");
  EXPECT_EQ(chart.chanTable[0].Abbrev, "\xE9t\xE9");
  EXPECT_EQ(chart.chanTable[0].YUnits, "mV");
}

TEST_F(SettingsDialogTest, ApplyShowsInTheChartUntilCancelOrTheCloseBoxPutsItBack) {
  open();
  field<QLineEdit>("Title_txt")->setText("Intake air");
  click("Apply_cmd");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(chartTitleAtNextTick(), "Intake air");
  click("Cancel_cmd");
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(chartTitleAtNextTick(), "Analog Sensor 1");

  open();
  field<QLineEdit>("Title_txt")->setText("Exhaust");
  click("Apply_cmd");
  EXPECT_EQ(chartTitleAtNextTick(), "Exhaust");
  dialog->close();  // the close box
  EXPECT_EQ(chartTitleAtNextTick(), "Analog Sensor 1");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SettingsDialogTest, OkKeepsTheEntryAndARefusalKeepsTheDialogOpen) {
  open();
  field<QLineEdit>("ymin_txt")->setText("0");
  field<QLineEdit>("ymax_txt")->setText("0");
  click("Apply_cmd");
  click("Ok_cmd");
  EXPECT_EQ(dialogs.texts(),
            (std::vector<std::string>{
                "Enter Again...Make sure Min and Max are numeric and Min < Max ",
                "Enter Again...must be numeric and Minimum Value should be less than Maximum Value"}));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(field<QLineEdit>("ymin_txt")->text(), "0") << "the entered texts stay";

  field<QLineEdit>("Title_txt")->setText("\"a\"");
  field<QLineEdit>("ymax_txt")->setText("1e1");
  click("Ok_cmd");
  ASSERT_EQ(dialogs.shown.size(), 3u);
  EXPECT_EQ(dialogs.shown[2].text,
            "The Title cannot be kept in Settings.txt: it begins with a double quote.");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(chart.chanTable[0].YMax, 10) << "unchanged";

  field<QLineEdit>("Title_txt")->setText("Room");
  field<QLineEdit>("ymin_txt")->setText(" -5 ");
  field<QLineEdit>("ymax_txt")->setText("40");
  click("Apply_cmd");
  field<QLineEdit>("Title_txt")->setText("Room air");
  click("Ok_cmd");
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(chartTitleAtNextTick(), "Room air");
  EXPECT_EQ(chart.chanTable[0].YMin, -5);
  EXPECT_EQ(chart.chanTable[0].YMax, 40);
  dialog.reset();
  EXPECT_EQ(chart.chanTable[0].Title, "Room air");
}

TEST_F(SettingsDialogTest, ChosenColourReachesTheRecordOnlyThroughOk) {
  open();
  dialogs.colorAnswers.push_back(ColorChoice{0x0000FF, {}});
  click("Color_cmd");
  EXPECT_EQ(swatch(), 0x0000FF);
  EXPECT_EQ(chart.chanTable[0].Color, 0) << "not before Apply or Ok";
  click("Cancel_cmd");
  EXPECT_EQ(chart.chanTable[0].Color, 0);

  open();
  dialogs.colorAnswers.push_back(ColorChoice{0x00FF00, {}});
  click("Color_cmd");
  click("Color_cmd");  // cancelled: nothing changes
  EXPECT_EQ(swatch(), 0x00FF00);
  click("Ok_cmd");
  EXPECT_EQ(chart.chanTable[0].Color, 0x00FF00);
}

TEST_F(SettingsDialogTest, CustomColoursLastWhileTheDialogIsLoaded) {
  open();
  CustomColors mixed{};
  mixed[0] = 0x102030;
  mixed[15] = 0xABCDEF;
  dialogs.colorAnswers.push_back(ColorChoice{0x102030, mixed});
  click("Color_cmd");
  dialogs.colorAnswers.push_back(std::nullopt);
  click("Color_cmd");
  click("Color_cmd");
  ASSERT_EQ(dialogs.colorsOffered.size(), 3u);
  EXPECT_EQ(dialogs.colorsOffered[0], CustomColors{});
  EXPECT_EQ(dialogs.colorsOffered[1], mixed);
  EXPECT_EQ(dialogs.colorsOffered[2], mixed) << "a cancelled choice keeps them";

  click("Cancel_cmd");
  open();
  click("Color_cmd");
  EXPECT_EQ(dialogs.colorsOffered.back(), CustomColors{}) << "black again at the next load";
}

}  // namespace
}  // namespace kvn
