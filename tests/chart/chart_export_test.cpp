// Export of the shown samples: the files' bytes, which channels are written,
// and what is refused or fails.
#include "chart/chart_export.h"

#include "common/text_file.h"
#include "support/system_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kvn {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Repeat(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

class ChartExportTest : public ::testing::Test {
 protected:
  ChartExportTest() {
    for (int n = 0; n < kChartSources; ++n) SetChannelDefaults(table, n);
    dir = fs::current_path() / "exe";  // each test runs in a folder of its own
    fs::create_directory(dir);
    saveDir = dir.string() + "/";
    // Channel c reads c - 1.5 at load, so channel 0 is negative.
    model->load([](int c) { return c - 1.5; });
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ChanTable table{};
  std::unique_ptr<StripChartModel> model = std::make_unique<StripChartModel>();
  fs::path dir;
  std::string saveDir;
};

TEST_F(ChartExportTest, FileHoldsTheWindowInFileFormWithTheWritePosColumnAsItStands) {
  table[0].InUse = -1;
  // After load the window is columns 0..70; column 70 is writePos, never
  // written yet.
  ASSERT_EQ(model->writePos(), model->winEnd());
  EXPECT_EQ(ExportShownSamples(table, *model, saveDir), std::nullopt);
  EXPECT_EQ(Read(dir / "Ana1.txt"), Repeat("-1.5 \r\n", 70) + " 0 \r\n");

  TickInputs in;
  ChartFrame frame;
  model->tick(table, in, [](int c) { return c + 0.25; }, frame);
  EXPECT_EQ(ExportShownSamples(table, *model, saveDir), std::nullopt);
  EXPECT_EQ(Read(dir / "Ana1.txt"), Repeat("-1.5 \r\n", 69) + " .25 \r\n" + " 0 \r\n");
  const std::string once = Read(dir / "Ana1.txt");
  EXPECT_EQ(ExportShownSamples(table, *model, saveDir), std::nullopt);
  EXPECT_EQ(Read(dir / "Ana1.txt"), once) << "saved twice without a tick: the same file";
  EXPECT_EQ(model->winStart(), 1) << "the chart is not moved";
}

TEST_F(ChartExportTest, WritesAnalogChannelsInUseOnlyAndTheLaterOfTwoSameNames) {
  for (int c : {0, 3, 8, 9}) table[static_cast<std::size_t>(c)].InUse = -1;
  EXPECT_EQ(ExportShownSamples(table, *model, saveDir), std::nullopt);
  EXPECT_EQ(files(), (std::vector<std::string>{"Ana1.txt", "Press.txt"}));
  EXPECT_EQ(Read(dir / "Press.txt"), Repeat(" 1.5 \r\n", 70) + " 0 \r\n");

  table[5].InUse = table[6].InUse = -1;
  table[5].Abbrev = table[6].Abbrev = "Same";
  EXPECT_EQ(ExportShownSamples(table, *model, saveDir), std::nullopt);
  EXPECT_EQ(Read(dir / "Same.txt"), Repeat(" 4.5 \r\n", 70) + " 0 \r\n") << "channel 6's samples";
}

TEST_F(ChartExportTest, UnsafeNamesAreSkippedInOneMessageAndTheOthersWritten) {
  const char* names[] = {"../up", "", "c:x", "Ana3", "a*b", "bell\a", "settings", "Ana7"};
  for (int c = 0; c < 8; ++c) {
    table[static_cast<std::size_t>(c)].InUse = -1;
    table[static_cast<std::size_t>(c)].Abbrev = names[c];
  }
  const auto message = ExportShownSamples(table, *model, saveDir);
  ASSERT_TRUE(message);
  EXPECT_EQ(*message,
            "Not all of the chart data was saved.\r\n"
            "Channel 0 was not saved: its short name \"../up\" cannot name a file, it holds a path separator.\r\n"
            "Channel 1 was not saved: its short name \"\" cannot name a file, it is empty.\r\n"
            "Channel 2 was not saved: its short name \"c:x\" cannot name a file, it holds a colon.\r\n"
            "Channel 4 was not saved: its short name \"a*b\" cannot name a file, it holds a wildcard character.\r\n"
            "Channel 5 was not saved: its short name \"bell\a\" cannot name a file, it holds a control character.\r\n"
            "Channel 6 was not saved: its short name \"settings\" cannot name a file, its file would replace the chart settings file.");
  EXPECT_EQ(files(), (std::vector<std::string>{"Ana3.txt", "Ana7.txt"}));
  EXPECT_FALSE(fs::exists(dir.parent_path() / "up.txt"));

  for (const char* name : {"..", "a..b", "a\\b", "x?", "p|q", "<a>", "q\"", "\x7f"})
    EXPECT_TRUE(ExportNameProblem(name)) << name;
  for (const char* name : {"Ana1", "Temp 2", "a.b", "Druck-ü", "Settings2"})
    EXPECT_FALSE(ExportNameProblem(name)) << name;
}

TEST_F(ChartExportTest, ALatin1ShortNameNamesItsFileInTheSystemCodePage) {
  table[0].InUse = -1;
  table[0].Abbrev = std::string("Temp") + test::kLatin1E;
  const std::string folder = JoinPath(dir.string(), std::string("Donn") + test::kLatin1E + "es");
  ASSERT_TRUE(test::MakeFolderInSystemCodePage(folder));
  EXPECT_EQ(ExportShownSamples(table, *model, folder), std::nullopt);
  const std::string file = JoinPath(folder, "Temp\xE9.txt");
  EXPECT_TRUE(test::ExistsInSystemCodePage(file)) << file;
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            Repeat("-1.5 \r\n", 70) + " 0 \r\n");
}

TEST_F(ChartExportTest, FolderThatCannotBeWrittenIsToldWithTheFileAndReason) {
  table[0].InUse = -1;
  const std::string missing = (dir / "missing").string() + "/";
  const auto message = ExportShownSamples(table, *model, missing);
  ASSERT_TRUE(message);
  EXPECT_NE(message->find("Channel 0 could not be saved to " + missing + "Ana1.txt: "),
            std::string::npos)
      << *message;
#ifdef _WIN32
  const std::string reason = WindowsErrorText(3);  // ERROR_PATH_NOT_FOUND
#else
  const std::string reason = "No such file or directory";
#endif
  EXPECT_NE(message->find(reason), std::string::npos) << *message;
}

}  // namespace
}  // namespace kvn
