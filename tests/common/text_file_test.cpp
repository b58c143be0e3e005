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
#include <unistd.h>

#include <csignal>

#include "support/ordinary_user.h"
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
// Runs write with files limited to `bytes`, as a full disk would stop them:
// a write past the limit fails with "File too large".
template <typename Write>
auto WithFileSizeLimit(rlim_t bytes, Write write) {
  struct rlimit saved {};
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = bytes;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  auto result = write();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  return result;
}

TEST_F(TextFileTest, FailedWriteKeepsOldFile) {
  const std::string path = PathOf("state.set");
  WriteRaw(path, "old content\r\n");
  const auto reason =
      WithFileSizeLimit(64, [&] { return ReplaceFileAtomically(path, std::string(100000, 'n')); });
  ASSERT_TRUE(reason.has_value());
  EXPECT_EQ(ReadRaw(path), "old content\r\n");
  EXPECT_EQ(EntriesInDir(), 1);
}

TEST_F(TextFileTest, StaleTemporariesOfGoneProcessesAreRemoved) {
  const std::string gone = PathOf(".~kvn-999999999-3-12345.tmp");  // beyond any process number
  const std::string ours = PathOf(".~kvn-" + std::to_string(::getpid()) + "-0-1.tmp");
  const std::string init = PathOf(".~kvn-1-0-1.tmp");               // process 1 always runs
  const std::string others[] = {PathOf("notes.tmp"), PathOf(".~kvn-abc-0-1.tmp"),
                                PathOf(".~kvn-999999999-0.tmp"), PathOf("state.set")};
  for (const auto& p : {gone, ours, init}) WriteRaw(p, "x");
  for (const auto& p : others) WriteRaw(p, "x");
  fs::create_directories(PathOf(".~kvn-999999998-0-1.tmp"));  // a folder is not ours

  EXPECT_EQ(RemoveStaleTemporaries(PathOf("state.set")), 1);
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_TRUE(fs::exists(ours));
  EXPECT_TRUE(fs::exists(init));
  for (const auto& p : others) EXPECT_TRUE(fs::exists(p)) << p;
  EXPECT_EQ(RemoveStaleTemporaries(PathOf("missing/state.set")), 0);
}

using test::AsOrdinaryUser;

TEST_F(TextFileTest, FolderThatCannotBeWrittenRewritesItsFileInPlace) {
  const std::string folder = PathOf("locked");
  fs::create_directories(folder);
  const std::string writable = folder + "/state.set";
  const std::string readOnly = folder + "/readonly.set";
  WriteRaw(writable, "a much longer old content\r\n");
  WriteRaw(readOnly, "old\r\n");
  ASSERT_EQ(::chmod(writable.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);

  const int result = AsOrdinaryUser([&] {
    int failures = 0;
    // The file can be written: it is, in place, and cut to its new length.
    if (ReplaceFileAtomically(writable, " 1 \r\n25\r\n").has_value()) failures |= 1;
    // Neither the folder nor the file can: a real failure, with its reason.
    const auto denied = ReplaceFileAtomically(readOnly, "new\r\n");
    if (!denied || *denied != "Permission denied") failures |= 2;
    const auto noFile = ReplaceFileAtomically(folder + "/new.set", "new\r\n");
    if (!noFile || *noFile != "Permission denied") failures |= 4;
    return failures;
  });
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadRaw(writable), " 1 \r\n25\r\n");
  EXPECT_EQ(ReadRaw(readOnly), "old\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "no temporary file left";
}

TEST_F(TextFileTest, InPlaceRewriteThatDoesNotFitKeepsTheOldFile) {
  // Only the file can be written, not its folder; the new content is longer
  // than the old and runs into the limit part way.
  const std::string folder = PathOf("locked");
  fs::create_directories(folder);
  const std::string path = folder + "/Settings.txt";
  const std::string old(5000, 'o');
  WriteRaw(path, old);
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);

  const int result = AsOrdinaryUser([&] {
    const auto tooLong =
        WithFileSizeLimit(8192, [&] { return ReplaceFileAtomically(path, std::string(6000, 'n')); });
    if (!tooLong || *tooLong != "File too large") return 1;
    // What fits beside the old content is written over it.
    const auto fits =
        WithFileSizeLimit(8192, [&] { return ReplaceFileAtomically(path, std::string(3000, 'n')); });
    return fits ? 2 : 0;
  });
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadRaw(path), std::string(3000, 'n'));
}

TEST_F(TextFileTest, ReplacedFileKeepsItsPermissionsWhenItsOwnerCanReadThem) {
  const mode_t mask = ::umask(022);
  const std::string path = PathOf("Settings.txt");
  const auto modeAfterReplacing = [&](mode_t mode) {
    WriteRaw(path, "old");
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    EXPECT_EQ(ReplaceFileAtomically(path, "new"), std::nullopt);
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
  };
  EXPECT_EQ(modeAfterReplacing(0640), 0640u);
  EXPECT_EQ(modeAfterReplacing(0400), 0400u);
  // A file its owner cannot read is replaced by one with a new file's mode.
  EXPECT_EQ(modeAfterReplacing(0), 0644u);
  EXPECT_EQ(modeAfterReplacing(0266), 0644u);
  ::umask(mask);
}

TEST_F(TextFileTest, AFileThatCannotBeReadTellsWhy) {
  const std::string path = PathOf("Settings.txt");
  WriteRaw(path, "secret");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
  const int result = AsOrdinaryUser([&] {
    std::string reason;
    if (ReadFilePrefix(path, 100, &reason) || reason != "Permission denied") return 1;
    if (ReadFilePrefix(PathOf("missing"), 100, &reason) || reason != "No such file or directory")
      return 2;
    if (ReadFilePrefix(dir_.string(), 100, &reason) || reason != "Is a directory") return 3;
    return 0;
  });
  EXPECT_EQ(result, 0);
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
