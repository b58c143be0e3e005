#include "common/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace kvn {
namespace {

namespace fs = std::filesystem;

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           (std::string("kvn_text_file_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  static void WriteRaw(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Temporary files left behind show up here.
  std::ptrdiff_t EntriesInDir() const { return std::distance(fs::directory_iterator(dir_), {}); }

  fs::path dir_;
};

TEST(JoinCrLf, EveryLineEndsInCrLf) {
  EXPECT_EQ(JoinCrLf({}), "");
  EXPECT_EQ(JoinCrLf({"Ana1", " 0 ", "", "V"}), "Ana1\r\n 0 \r\n\r\nV\r\n");
}

TEST_F(TextFileTest, WritesAndReplacesBytesUnchanged) {
  const std::string path = PathOf("Settings.txt");
  WriteRaw(path, std::string(5000, 'x'));
  const std::string content = JoinCrLf({"Ana1", " 10 ", "", "\xB0" "C"}) + std::string("\0\n\r\xFF", 4);
  ASSERT_EQ(ReplaceFileAtomically(path, content), std::nullopt);
  EXPECT_EQ(ReadRaw(path), content);
  ASSERT_EQ(ReplaceFileAtomically(path, ""), std::nullopt);
  EXPECT_EQ(ReadRaw(path), "");
  ASSERT_EQ(ReplaceFileAtomically(PathOf("new.txt"), content), std::nullopt);
  EXPECT_EQ(ReadRaw(PathOf("new.txt")), content);
  EXPECT_EQ(EntriesInDir(), 2);
}

TEST_F(TextFileTest, FailureLeavesEverythingAsItWas) {
  const std::string plain = PathOf("plain");
  WriteRaw(plain, "keep");
  // The target is a folder with content: the data is written, the rename fails.
  const std::string folder = PathOf("folder");
  fs::create_directories(folder);
  for (const auto& path : {plain + "/Settings.txt", PathOf("missing/Settings.txt"), folder}) {
    const auto reason = ReplaceFileAtomically(path, "data\r\n");
    ASSERT_TRUE(reason.has_value()) << path;
    EXPECT_FALSE(reason->empty());
  }
  EXPECT_EQ(ReadRaw(plain), "keep");
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(EntriesInDir(), 2);
}

#ifndef _WIN32
TEST_F(TextFileTest, FailedWriteKeepsOldFile) {
  // A file size limit makes the write fail part way, as a full disk would.
  const std::string path = PathOf("state.set");
  WriteRaw(path, "old content\r\n");
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto reason = ReplaceFileAtomically(path, std::string(100000, 'n'));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  ASSERT_TRUE(reason.has_value());
  EXPECT_EQ(ReadRaw(path), "old content\r\n");
  EXPECT_EQ(EntriesInDir(), 1);
}

TEST_F(TextFileTest, KeepsPermissionsOfReplacedFile) {
  const std::string path = PathOf("Settings.txt");
  WriteRaw(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(ReplaceFileAtomically(path, "new"), std::nullopt);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}
#endif

TEST_F(TextFileTest, ReadFilePrefixAndIsPlainFile) {
  const std::string path = PathOf("big.txt");
  std::string content;
  for (int i = 0; i < 200000; ++i) content.push_back(static_cast<char>('a' + i % 26));
  WriteRaw(path, content);
  EXPECT_EQ(ReadFilePrefix(path, std::numeric_limits<std::size_t>::max()), content);
  EXPECT_EQ(ReadFilePrefix(path, 100000), content.substr(0, 100000));
  EXPECT_EQ(ReadFilePrefix(path, 0), "");
  EXPECT_TRUE(IsPlainFile(path));

  for (const auto& bad : {dir_.string(), PathOf("missing"), std::string()}) {
    EXPECT_EQ(ReadFilePrefix(bad, 10), std::nullopt) << bad;
    EXPECT_FALSE(IsPlainFile(bad)) << bad;
  }
}

}  // namespace
}  // namespace kvn
