// The channel table and Settings.txt: defaults, the file form, loading what
// the file holds (whole, cut short, spoiled) and saving.
#include "chart/channel_table.h"

#include "common/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>

#include "support/ordinary_user.h"
#endif

#include "support/system_names.h"

namespace kvn {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += lines[i] + "\r\n";
  return out;
}

ChanTable Defaults() {
  ChanTable t;
  for (int n = 0; n < kChartSources; ++n) SetChannelDefaults(t, n);
  return t;
}

// Every record different from its defaults, so that where each value came
// from shows.
ChanTable Edited() {
  ChanTable t = Defaults();
  for (int n = 0; n < kChartSources; ++n) {
    auto& r = t[static_cast<std::size_t>(n)];
    r.Title = "Title " + std::to_string(n);
    r.Abbrev = std::to_string(n + 5);  // digits only: still text
    r.YMin = -0.25 * n;
    r.YMax = 100.5 + n;
    r.Color = 0x10203 * n;
    r.YText = "";
    r.YUnits = "u" + std::to_string(n);
  }
  return t;
}

auto Fields(const ChanSetting& r) {
  return std::tie(r.Title, r.Abbrev, r.YMin, r.YMax, r.Color, r.YText, r.YUnits);
}

// Records from..to-1 of `got` hold the settings of `want`.
void ExpectRecords(const ChanTable& got, const ChanTable& want, int from, int to) {
  for (int n = from; n < to; ++n) EXPECT_TRUE(Fields(got[n]) == Fields(want[n])) << "record " << n;
}

class ChannelTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kvn_chart_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    path_ = SettingsFilePath(dir_.string());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }

  // Loads into a table whose InUse flags and record 12 must survive.
  std::string Load(ChanTable& t) const {
    t[3].InUse = -1;
    t[12].Title = "not a source";
    const std::string message = LoadChannelSettings(t, path_).value_or("");
    EXPECT_EQ(t[3].InUse, -1);
    EXPECT_EQ(t[12].Title, "not a source");
    return message;
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(ChannelTableTest, DefaultsAreWrittenLineByLine) {
  ChanTable t = Defaults();
  t[4].InUse = -1;
  SetChannelDefaults(t, 12);
  SetChannelDefaults(t, -1);
  EXPECT_TRUE(t[12].Title.empty());
  EXPECT_EQ(t[4].InUse, -1);

  const auto lines = SplitCrLf(SettingsFileContent(t));
  ASSERT_EQ(lines.size(), 84u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7),
            (std::vector<std::string>{"Ana1", " 0 ", " 10 ", " 0 ", "Analog Sensor 1", "Volts*5/256", "V"}));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 21, lines.begin() + 23),
            (std::vector<std::string>{"Press", " 65280 "}));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 56, lines.begin() + 63),
            (std::vector<std::string>{"Hum", " 80 ", " 20 ", " 0 ", "Humidity Sensor", "Hum", "%"}));
  EXPECT_EQ(lines.back(), "C/F");
  // The recorded file, which the Windows archive's tests hold the program's
  // Save to as well.
  std::ifstream recorded(KVN_RECORDED_SETTINGS, std::ios::binary);
  EXPECT_EQ(SettingsFileContent(Defaults()),
            std::string(std::istreambuf_iterator<char>(recorded), {}));

  EXPECT_EQ(DrawColor(0x12345678), 0x345678u);
  EXPECT_EQ(DrawColor(-1), 0xFFFFFFu);
}

TEST_F(ChannelTableTest, SavedSettingsLoadBackAndAMissingFileGivesDefaults) {
  ChanTable t;
  EXPECT_EQ(Load(t), "");  // no file yet
  EXPECT_FALSE(fs::exists(path_));
  ExpectRecords(t, Defaults(), 0, kChartSources);

  const ChanTable edited = Edited();
  ASSERT_EQ(SaveChannelSettings(edited, path_), std::nullopt);
  EXPECT_EQ(Load(t), "");
  ExpectRecords(t, edited, 0, kChartSources);
  EXPECT_EQ(t[0].Abbrev, "5");

  // A folder by that name is no settings file.
  fs::remove(path_);
  fs::create_directory(path_);
  EXPECT_EQ(Load(t), "");
  ExpectRecords(t, Defaults(), 0, 1);
}

TEST_F(ChannelTableTest, WholeRecordsAreKeptAndTheRestDefaultedSilently) {
  const auto lines = SplitCrLf(SettingsFileContent(Edited()));
  Write(JoinLines(lines, 21));
  ChanTable t;
  EXPECT_EQ(Load(t), "");
  ExpectRecords(t, Edited(), 0, 3);
  ExpectRecords(t, Defaults(), 3, kChartSources);

  Write("");
  EXPECT_EQ(Load(t), "");
  ExpectRecords(t, Defaults(), 0, 1);
}

TEST_F(ChannelTableTest, ARecordCutShortDefaultsFromThereOnAndSaysWhere) {
  const auto lines = SplitCrLf(SettingsFileContent(Edited()));
  for (const std::string& cut : {JoinLines(lines, 23), JoinLines(lines, 22) + lines[22]}) {
    Write(cut);
    ChanTable t;
    const std::string message = Load(t);
    EXPECT_NE(message.find(path_), std::string::npos) << message;
    EXPECT_NE(message.find("line 23"), std::string::npos) << message;
    ExpectRecords(t, Edited(), 0, 3);
    ExpectRecords(t, Defaults(), 3, kChartSources);
  }
}

TEST_F(ChannelTableTest, NumbersThatAreNoFiniteNumbersAreRefused) {
  // Record 4's YMin is line 32; record 4's Color line 30.
  auto lines = SplitCrLf(SettingsFileContent(Edited()));
  for (const char* bad : {"abc", "", "  ", "1e309", "-1E400", "&H"}) {
    auto spoiled = lines;
    spoiled[31] = bad;
    Write(JoinLines(spoiled, spoiled.size()));
    ChanTable t;
    const std::string message = Load(t);
    const bool tooLarge = std::string(bad).find_first_of("eE") != std::string::npos;
    EXPECT_NE(message.find(tooLarge ? "line 32: the Y minimum there is out of range."
                                    : "line 32: the Y minimum there is not a number."),
              std::string::npos)
        << bad << ": " << message;
    EXPECT_NE(message.find(path_), std::string::npos) << message;
    ExpectRecords(t, Edited(), 3, 4);
    ExpectRecords(t, Defaults(), 4, kChartSources);
  }

  // A line split by a comma still names the line that holds the bad item.
  auto shifted = lines;
  shifted[1] = " 1, x";  // record 0: Color 1, then "x" is read as YMax
  Write(JoinLines(shifted, shifted.size()));
  ChanTable t;
  EXPECT_NE(Load(t).find("line 2:"), std::string::npos);

  // Colours are rounded half to even and held within 32 bits.
  lines[29] = " 2.5 ";
  lines[36] = "1e20";
  Write(JoinLines(lines, lines.size()));
  EXPECT_EQ(Load(t), "");
  EXPECT_EQ(t[4].Color, 2);
  EXPECT_EQ(t[5].Color, 2147483647);
}

TEST_F(ChannelTableTest, Latin1TextsAndFolderNamesRoundTripByteForByte) {
  // The program's folder and the texts in the system's 8-bit code page.
  const std::string folder = JoinPath(dir_.string(), std::string("Donn") + test::kLatin1E + "es");
  ASSERT_TRUE(test::MakeFolderInSystemCodePage(folder));
  const std::string path = SettingsFilePath(folder);
  ChanTable table = Edited();
  table[0].Abbrev = std::string("Temp") + test::kLatin1E;
  table[0].YUnits = "\xB0" "C";  // °C
  table[1].Title = std::string("Humidit") + test::kLatin1E + " relative";
  ASSERT_EQ(SaveChannelSettings(table, path), std::nullopt);
  EXPECT_TRUE(test::ExistsInSystemCodePage(path)) << path;

  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto lines = SplitCrLf(bytes);
  EXPECT_EQ(JoinLines(lines, lines.size()), bytes) << "every line ends in CR LF";
  EXPECT_EQ(lines[0], "Temp\xE9");
  EXPECT_EQ(lines[6], "\xB0" "C");
  EXPECT_EQ(lines[11], "Humidit\xE9 relative");

  ChanTable loaded;
  ASSERT_EQ(LoadChannelSettings(loaded, path), std::nullopt);
  ExpectRecords(loaded, table, 0, kChartSources);
}

TEST_F(ChannelTableTest, TextsInQuotesSaveBackSoThatTheyLoadTheSame) {
  auto lines = SplitCrLf(SettingsFileContent(Edited()));
  lines[0] = "\"Ana,1\"";                    // record 0's short name
  lines[4] = "  \"Sensor one, left\"  ";     // its title
  lines[5] = "\" padded \"";                 // its Y axis text
  lines[6] = "\"two\r\nlines\"";             // its units, over two lines
  lines[11] = "say \"hi\"";                  // record 1's title: a quote inside
  Write(JoinLines(lines, lines.size()));
  ChanTable loaded;
  ASSERT_EQ(Load(loaded), "");
  EXPECT_EQ(loaded[0].Abbrev, "Ana,1");
  EXPECT_EQ(loaded[0].Title, "Sensor one, left");
  EXPECT_EQ(loaded[0].YText, " padded ");
  EXPECT_EQ(loaded[0].YUnits, "two\r\nlines");
  EXPECT_EQ(loaded[1].Title, "say \"hi\"");
  ExpectRecords(loaded, Edited(), 2, kChartSources);

  ASSERT_EQ(SaveChannelSettings(loaded, path_), std::nullopt);
  ChanTable again;
  ASSERT_EQ(Load(again), "");
  ExpectRecords(again, loaded, 0, kChartSources);
  EXPECT_EQ(SettingsFileContent(again), SettingsFileContent(loaded));
  // Texts that need no quotes are written as they are (record 0 takes one
  // line more, for its units).
  const auto saved = SplitCrLf(SettingsFileContent(again));
  EXPECT_EQ(saved[0], "\"Ana,1\"");
  EXPECT_EQ(saved[8], "6");
  EXPECT_EQ(saved[12], "say \"hi\"");

  // A text that no form of the file gives back is not written at all.
  const std::string before = SettingsFileContent(again);
  for (const char* unwritable : {"\"quoted\"", "say, \"hi\"", "\"a"}) {
    ChanTable bad = again;
    bad[2].YUnits = unwritable;
    const auto message = SaveChannelSettings(bad, path_);
    ASSERT_TRUE(message.has_value()) << unwritable;
    EXPECT_NE(message->find("the units of Analog Sensor 3 cannot be kept there"), std::string::npos)
        << *message;
  }
  EXPECT_EQ(SettingsFileContent(again), before);
  ChanTable kept;
  ASSERT_EQ(Load(kept), "");
  ExpectRecords(kept, again, 0, kChartSources);
}

#ifndef _WIN32
TEST_F(ChannelTableTest, AFileThatCannotBeReadSaysWhy) {
  Write(SettingsFileContent(Edited()));
  ASSERT_EQ(::chmod(path_.c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
  const int result = test::AsOrdinaryUser([&] {
    ChanTable t;
    const std::string message = LoadChannelSettings(t, path_).value_or("");
    return message == "The chart settings file " + path_ +
                          " could not be read: Permission denied. All channels use their "
                          "default settings."
               ? 0
               : 1;
  });
  EXPECT_EQ(result, 0);
}
#endif

TEST_F(ChannelTableTest, SavingIntoAMissingFolderFailsWithAReason) {
  const ChanTable t = Edited();
  const std::string path = SettingsFilePath((dir_ / "gone").string());
  const auto message = SaveChannelSettings(t, path);
  ASSERT_TRUE(message.has_value());
  EXPECT_NE(message->find(path), std::string::npos) << *message;
  EXPECT_FALSE(fs::exists(path));
  ExpectRecords(t, Edited(), 0, kChartSources);
}

}  // namespace
}  // namespace kvn
