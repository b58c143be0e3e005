// The settings dialog's rules without the dialog: what counts as a number,
// the refusals of each button, the preview and its undo.
#include "chart_settings/channel_editor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kvn {
namespace {

TEST(PlainDecimal, TakesPlainDecimalNumbersWithBlanksAroundAndNothingElse) {
  EXPECT_EQ(PlainDecimal("  2 "), 2.0);
  EXPECT_EQ(PlainDecimal("1e1"), 10.0);
  EXPECT_EQ(PlainDecimal("\t-0.5"), -0.5);
  EXPECT_EQ(PlainDecimal("+.25"), 0.25);
  EXPECT_EQ(PlainDecimal("5."), 5.0);
  EXPECT_EQ(PlainDecimal("-1.5E-2"), -0.015);
  EXPECT_EQ(PlainDecimal("0.1"), 0.1);
  EXPECT_FALSE(std::signbit(*PlainDecimal("-0")));

  for (const char* text : {"", "  ", "abc", "1 0", "1,5", "&H10", "1e", "e5", ".", "-", "+-1",
                           "1.2.3", "1e999", "-1e999", "1e-400", "$5", "0x10", "1d2", "nan", "inf"})
    EXPECT_FALSE(PlainDecimal(text)) << '"' << text << '"';
}

class ChannelEditorTest : public ::testing::Test {
 protected:
  ChannelEditorTest() {
    for (int n = 0; n < kChartSources; ++n) SetChannelDefaults(table, n);
    table[3].YMin = 0.5;
    table[3].InUse = -1;
  }
  ChannelEntry entryWithRange(const ChannelEditor& editor, const char* yMin, const char* yMax) {
    ChannelEntry e = editor.loadedEntry();
    e.yMin = yMin;
    e.yMax = yMax;
    return e;
  }
  ChanTable table{};
};

TEST_F(ChannelEditorTest, LoadShowsTheRecordWithLeadingZeros) {
  table[3].YMax = -0.25;
  table[3].YMin = -0.5;
  ChannelEditor editor(table, 3);
  const ChannelEntry e = editor.loadedEntry();
  EXPECT_EQ(e.yMin, "-0.5");
  EXPECT_EQ(e.yMax, "-0.25");
  EXPECT_EQ(e.title, "Analog Sensor 4");
  EXPECT_EQ(e.abbrev, "Press");
  EXPECT_EQ(e.yText, "Volts*5/256");
  EXPECT_EQ(e.yUnits, "V");
  EXPECT_EQ(e.color, 0x00FF00);
  EXPECT_EQ(editor.customColors(), CustomColors{});
}

TEST_F(ChannelEditorTest, EachButtonRefusesABadRangeWithItsOwnMessageAndChangesNothing) {
  ChannelEditor editor(table, 3);
  const ChanSetting before = table[3];
  const std::pair<const char*, const char*> bad[] = {
      {"0", "0"}, {"5", "4.5"}, {"abc", "10"}, {"1", "x"}, {"", "10"}};
  for (const auto& [yMin, yMax] : bad) {
    EXPECT_EQ(editor.write(entryWithRange(editor, yMin, yMax), ChannelEditor::Button::Apply),
              "Enter Again...Make sure Min and Max are numeric and Min < Max ");
    EXPECT_EQ(editor.write(entryWithRange(editor, yMin, yMax), ChannelEditor::Button::Ok),
              "Enter Again...must be numeric and Minimum Value should be less than Maximum Value");
  }
  EXPECT_EQ(table[3].YMin, before.YMin);
  EXPECT_EQ(table[3].YMax, before.YMax);
  EXPECT_FALSE(editor.okPressed());

  EXPECT_EQ(editor.write(entryWithRange(editor, " 2 ", "1e1"), ChannelEditor::Button::Apply),
            std::nullopt);
  EXPECT_EQ(table[3].YMin, 2);
  EXPECT_EQ(table[3].YMax, 10);
}

TEST_F(ChannelEditorTest, ApplyPreviewsAndCancelOrUnloadPutsBackTheRecordAsLoaded) {
  ChannelEditor editor(table, 3);
  ChannelEntry e = entryWithRange(editor, "-7", "23");
  e.title = "Fan intake";
  e.abbrev = "Fan";
  e.yText = "Pa";
  e.yUnits = "kPa";
  e.color = 0x123456;
  ASSERT_EQ(editor.write(e, ChannelEditor::Button::Apply), std::nullopt);
  e.title = "Second try";
  ASSERT_EQ(editor.write(e, ChannelEditor::Button::Apply), std::nullopt);
  EXPECT_EQ(table[3].Title, "Second try");
  EXPECT_EQ(table[3].Abbrev, "Fan");
  EXPECT_EQ(table[3].YMin, -7);
  EXPECT_EQ(table[3].Color, 0x123456);

  editor.restore();
  editor.unload();  // Cancel's restore runs again at unload, harmlessly
  EXPECT_EQ(table[3].Title, "Analog Sensor 4");
  EXPECT_EQ(table[3].Abbrev, "Press");
  EXPECT_EQ(table[3].YText, "Volts*5/256");
  EXPECT_EQ(table[3].YUnits, "V");
  EXPECT_EQ(table[3].YMin, 0.5);
  EXPECT_EQ(table[3].Color, 0x00FF00);
  EXPECT_EQ(table[3].InUse, -1) << "not part of what the dialog edits";
  EXPECT_EQ(table[2].Title, "Analog Sensor 3");
}

TEST_F(ChannelEditorTest, OkKeepsItsValuesAtUnload) {
  ChannelEditor editor(table, 3);
  ChannelEntry e = editor.loadedEntry();
  e.title = "Applied";
  ASSERT_EQ(editor.write(e, ChannelEditor::Button::Apply), std::nullopt);
  e.title = "Kept";
  ASSERT_EQ(editor.write(e, ChannelEditor::Button::Ok), std::nullopt);
  EXPECT_TRUE(editor.okPressed());
  editor.unload();
  EXPECT_EQ(table[3].Title, "Kept");
}

TEST_F(ChannelEditorTest, TextsSettingsFileCannotHoldAreRefusedNamingTheField) {
  ChannelEditor editor(table, 3);
  const std::pair<std::string ChannelEntry::*, const char*> fields[] = {
      {&ChannelEntry::title, "Title"},
      {&ChannelEntry::abbrev, "Abbrev"},
      {&ChannelEntry::yText, "Y-Axis Text"},
      {&ChannelEntry::yUnits, "Y-Axis Units"}};
  const char* const mixed = "it holds a double quote and a comma, a line break or a blank at either end";
  const std::pair<const char*, const char*> texts[] = {{"\"quoted\"", "it begins with a double quote"},
                                                       {"say, \"hi", mixed},
                                                       {" \"lead", mixed},
                                                       {"trail\"\t", mixed},
                                                       {"two\nlines", "it holds a line break"}};
  for (const auto& [field, name] : fields) {
    for (const auto& [text, why] : texts) {
      ChannelEntry e = editor.loadedEntry();
      e.*field = text;
      EXPECT_EQ(editor.write(e, ChannelEditor::Button::Ok),
                std::string("The ") + name + " cannot be kept in Settings.txt: " + why + ".");
    }
  }
  EXPECT_EQ(table[3].Title, "Analog Sensor 4");
  EXPECT_FALSE(editor.okPressed());

  // Commas, blanks, an inner quote and an empty text are fine (the file
  // holds them, in quotes where they need them); a text the record already
  // held (from the file) is taken as it is.
  table[4].Title = "odd\"title, \"";
  ChannelEditor other(table, 4);
  ChannelEntry e = other.loadedEntry();
  e.abbrev = "";
  e.yText = " deg, C ";
  e.yUnits = "5\" screen";
  EXPECT_EQ(other.write(e, ChannelEditor::Button::Apply), std::nullopt);
  EXPECT_EQ(table[4].Abbrev, "");
  EXPECT_EQ(table[4].YText, " deg, C ");
  EXPECT_EQ(table[4].YUnits, "5\" screen");
}

TEST_F(ChannelEditorTest, RecordOutsideTheTableEditsRecordZero) {
  ChannelEditor editor(table, 13);
  EXPECT_EQ(editor.channel(), 0);
  EXPECT_EQ(ChannelEditor(table, -1).channel(), 0);
}

}  // namespace
}  // namespace kvn
