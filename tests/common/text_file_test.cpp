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
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

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

// Runs check as a user without root's right to write anywhere: as it is,
// or, under root, in a child process that has become "nobody". The result is
// check's, through the exit status.
int AsOrdinaryUser(const std::function<int()>& check) {
  if (::geteuid() != 0) return check();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    ::_exit(check());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 101;
  return WEXITSTATUS(status);
}

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
