#include "logging/log_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kvn {
namespace {

namespace fs = std::filesystem;

class FakeClock final : public DateClock {
 public:
  LocalDateTime now() override { return time; }
  void at(int h, int m, int s) { time.hour = h, time.minute = m, time.second = s; }
  LocalDateTime time{2026, 12, 6, 9, 15, 0};
};

const std::string kHeader = "TempCurrent TempHighSet, TempLowSet, Analog0, Analog1, Analog2, Analog3";

std::string CrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

fs::path FreshFolder() {
  const fs::path dir = fs::temp_directory_path() /
                       ("kvn_log_" + std::to_string(getpid()) + "_" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

class LogWriterTest : public ::testing::Test {
 protected:
  ~LogWriterTest() override { fs::remove_all(dir_); }

  std::string File() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // One call with a state of its own, as the callers' temporary copies are;
  // returns the state it settled on.
  std::int16_t Call(std::int16_t request, const std::string& text = "") {
    ok_ = log_.LoggingFunction(request, text);
    return request;
  }
  // The lines that open a log, on the clock's 09:15:00.
  std::string Opening(const std::string& first, bool header) const {
    return CrLf({first + "12-06-2026 at 09:15:00", "Log File: " + path_}) +
           (header ? CrLf({"Log Data Header: " + kHeader}) : "");
  }
  std::string Error(const std::string& what) const {
    return "The log file " + path_ + " could not be " + what;
  }

  const fs::path dir_ = FreshFolder();
  const std::string path_ = (dir_ / "kvnvb_DazEvo.Log").string();
  FakeClock clock_;
  LogWriter log_{clock_, path_};
  bool ok_ = false;
};

// Each line is in the file as soon as the call returns: the file is read
// after every step, with the log still open.
TEST_F(LogWriterTest, ExampleLog) {
  std::int16_t state = kLogStart;
  EXPECT_TRUE(log_.LoggingFunction(state, kHeader));
  EXPECT_EQ(state, kLogRecording);
  EXPECT_EQ(log_.lines(), 3);
  std::string expected = Opening("Log Started on ", true);
  EXPECT_EQ(File(), expected);

  struct Step {
    std::int16_t request;
    int second;
    std::string text;
    std::int16_t after;
    int lines;
    std::string line;
  };
  const std::vector<Step> steps = {
      {kLogRecording, 1, " 25.5, 30, 10, 123, 45, 0, 255", kLogRecording, 4,
       "       3 12-06-2026 09:15:01 >  25.5, 30, 10, 123, 45, 0, 255"},
      {kLogRecording, 2, " 25.5, 30, 10, 124, 45, 0, 255", kLogRecording, 5,
       "       4 12-06-2026 09:15:02 >  25.5, 30, 10, 124, 45, 0, 255"},
      {kLogMessage, 2, "fan test", kLogRecording, 6, "       5 12-06-2026 09:15:02 # fan test"},
      {kLogPause, 3, "", kLogPaused, 6, "Log Paused on 12-06-2026 at 09:15:03"},
      {kLogResume, 9, "", kLogRecording, 6, "Log Resumed on 12-06-2026 at 09:15:09"},
      {kLogRecording, 10, " 26, 30, 10, 124, 45, 0, 255", kLogRecording, 7,
       "       6 12-06-2026 09:15:10 >  26, 30, 10, 124, 45, 0, 255"},
      {kLogFlush, 11, "", kLogRecording, 8, "Log Flushed on 12-06-2026 at 09:15:11"},
      {kLogRecording, 12, " 26, 30, 10, 125, 45, 0, 255", kLogRecording, 9,
       "       8 12-06-2026 09:15:12 >  26, 30, 10, 125, 45, 0, 255"},
      {kLogClose, 13, "", kLogNone, 0, "Log Closed on 12-06-2026 at 09:15:13"},
  };
  for (const Step& s : steps) {
    clock_.at(9, 15, s.second);
    state = s.request;
    EXPECT_TRUE(log_.LoggingFunction(state, s.text)) << log_.error();
    EXPECT_EQ(state, s.after) << s.line;
    EXPECT_EQ(log_.lines(), s.lines) << s.line;
    EXPECT_EQ(File(), expected += CrLf({s.line}));
  }
  EXPECT_FALSE(log_.isOpen());
}

TEST_F(LogWriterTest, StartAppendsAndRestartsTheCounter) {
  { std::ofstream(path_, std::ios::binary) << "earlier\r\n"; }
  Call(kLogStart, kHeader);
  Call(kLogRecording, " 1");
  Call(kLogClose);
  Call(kLogStart);
  EXPECT_EQ(log_.lines(), 2);
  Call(kLogRecording, " 2");
  EXPECT_EQ(File(), "earlier\r\n" + Opening("Log Started on ", true) +
                        CrLf({"       3 12-06-2026 09:15:00 >  1", "Log Closed on 12-06-2026 at 09:15:00"}) +
                        Opening("Log Started on ", false) + CrLf({"       2 12-06-2026 09:15:00 >  2"}));
}

TEST_F(LogWriterTest, ClearWithALogOpenRestartsTheFileWithTheSavedHeader) {
  Call(kLogStart, kHeader);
  Call(kLogRecording, " 1");
  EXPECT_EQ(Call(kLogClear), kLogRecording);
  EXPECT_TRUE(ok_);
  EXPECT_EQ(log_.lines(), 3);
  Call(kLogRecording, " 2");
  EXPECT_EQ(File(), Opening("Log ReStarted on ", true) + CrLf({"       3 12-06-2026 09:15:00 >  2"}));

  // A later start without a header writes none, but a clear still brings
  // back the header of the latest start that had one.
  Call(kLogClose);
  Call(kLogStart);
  EXPECT_EQ(Call(kLogPause), kLogPaused);
  EXPECT_EQ(Call(kLogClear), kLogRecording);
  EXPECT_EQ(File(), Opening("Log ReStarted on ", true));
}

TEST_F(LogWriterTest, ClearWithNoLogOpenDeletesTheFile) {
  EXPECT_EQ(Call(kLogClear), kLogClear);
  EXPECT_TRUE(ok_);
  EXPECT_FALSE(fs::exists(path_));

  Call(kLogStart);
  Call(kLogClose);
  EXPECT_EQ(Call(kLogClear), kLogClear);
  EXPECT_TRUE(ok_);
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(log_.lines(), 0);
}

// Every request but a clear (see above) from each resting state with a log
// open. Recording (2) and paused (6) differ only in the state the caller
// holds, so both run one table.
TEST_F(LogWriterTest, RequestsWithALogOpen) {
  const std::string at = " on 12-06-2026 at 09:15:00\r\n";
  const struct {
    std::int16_t request, after;
    std::string appended;
    int lines;
  } table[] = {
      {kLogNone, kLogNone, "", 3},
      {kLogStart, kLogRecording, Opening("Log Started on ", false) + "Log Data Header: x\r\n", 3},
      {kLogRecording, kLogRecording, "       3 12-06-2026 09:15:00 > x\r\n", 4},
      {kLogFlush, kLogRecording, "Log Flushed" + at, 4},
      {kLogClose, kLogNone, "Log Closed" + at, 0},
      {kLogPause, kLogPaused, "Log Paused" + at, 3},
      {kLogPaused, kLogPaused, "", 3},
      {kLogResume, kLogRecording, "Log Resumed" + at, 3},
      // From a pause, a message ends the pause without a resume line.
      {kLogMessage, kLogRecording, "       3 12-06-2026 09:15:00 # x\r\n", 4},
      {42, 42, "", 3},
      {-1, -1, "", 3},
  };
  for (const bool paused : {false, true}) {
    for (const auto& e : table) {
      fs::remove(path_);
      Call(kLogStart, kHeader);
      if (paused) Call(kLogPause);
      const std::string before = File();
      EXPECT_EQ(Call(e.request, "x"), e.after) << "request " << e.request << " paused " << paused;
      EXPECT_TRUE(ok_);
      EXPECT_EQ(log_.lines(), e.lines) << "request " << e.request;
      EXPECT_EQ(File(), before + e.appended) << "request " << e.request;
      EXPECT_EQ(log_.isOpen(), e.request != kLogClose);
      Call(kLogClose);
    }
  }
}

TEST_F(LogWriterTest, RequestsWithNoLogOpenWriteNothing) {
  for (const bool filePresent : {false, true}) {
    if (filePresent) { std::ofstream(path_, std::ios::binary) << "kept\r\n"; }
    for (const std::int16_t request : {kLogRecording, kLogFlush, kLogPause, kLogResume, kLogMessage}) {
      EXPECT_EQ(Call(request, "x"), kLogNone) << "request " << request;
      EXPECT_FALSE(ok_);
      EXPECT_EQ(log_.error(), "No log is open, so nothing was written to the log file " + path_ + ".");
    }
    for (const std::int16_t request : {kLogNone, kLogClose, kLogPaused, std::int16_t{42}, std::int16_t{-1}}) {
      EXPECT_EQ(Call(request, "x"), request == kLogClose ? kLogNone : request);
      EXPECT_TRUE(ok_);
    }
    EXPECT_FALSE(log_.isOpen());
    EXPECT_EQ(fs::exists(path_), filePresent);
    if (filePresent) {
      EXPECT_EQ(File(), "kept\r\n");
    }
  }
}

TEST_F(LogWriterTest, StartThatCannotOpenTheFileLeavesNoLogOpen) {
  fs::create_directory(path_);
  EXPECT_EQ(Call(kLogStart, kHeader), kLogNone);
  EXPECT_FALSE(ok_);
  EXPECT_EQ(log_.error(), Error("opened: Is a directory"));
  EXPECT_FALSE(log_.isOpen());
  EXPECT_EQ(log_.lines(), 0);

  LogWriter elsewhere(clock_, (dir_ / "missing" / "kvnvb_DazEvo.Log").string());
  std::int16_t state = kLogStart;
  EXPECT_FALSE(elsewhere.LoggingFunction(state, ""));
  EXPECT_EQ(state, kLogNone);
  EXPECT_EQ(elsewhere.error(),
            "The log file " + elsewhere.path() + " could not be opened: No such file or directory");
}

// A full disk, as the file size limit makes it: SIGXFSZ ignored, writes
// beyond the limit fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int);
};

TEST_F(LogWriterTest, WriteThatFailsClosesTheLog) {
  Call(kLogStart, kHeader);
  const std::string before = File();
  {
    FileSizeLimit full(before.size() + 10);
    EXPECT_EQ(Call(kLogRecording, " 1, 2, 3, 4, 5, 6, 7"), kLogNone);
    EXPECT_FALSE(ok_);
    EXPECT_EQ(log_.error(), Error("written: File too large"));
    EXPECT_FALSE(log_.isOpen());
    EXPECT_EQ(log_.lines(), 0);

    // The part of the line that fitted is taken back.
    EXPECT_EQ(File(), before);

    // A start on the full file fails in its first line just the same.
    FileSizeLimit fuller(before.size());
    EXPECT_EQ(Call(kLogStart), kLogNone);
    EXPECT_EQ(log_.error(), Error("written: File too large"));
    EXPECT_FALSE(log_.isOpen());
  }
  EXPECT_EQ(File(), before);
  EXPECT_EQ(Call(kLogStart), kLogRecording);
  EXPECT_TRUE(ok_);
}

TEST_F(LogWriterTest, FlushOrClearThatCannotReopenClosesTheLog) {
  const std::string moved = (dir_ / "moved.Log").string();
  for (const std::int16_t request : {kLogFlush, kLogClear}) {
    Call(kLogStart);
    fs::rename(path_, moved);
    fs::create_directory(path_);
    EXPECT_EQ(Call(request), kLogNone) << "request " << request;
    EXPECT_FALSE(ok_);
    EXPECT_EQ(log_.error(), Error("opened: Is a directory"));
    EXPECT_FALSE(log_.isOpen());
    EXPECT_EQ(log_.lines(), 0);
    fs::remove(path_);
  }
}

TEST_F(LogWriterTest, ClearThatCannotDeleteIsReported) {
  fs::create_directory(path_);
  EXPECT_EQ(Call(kLogClear), kLogClear);
  EXPECT_FALSE(ok_);
  EXPECT_EQ(log_.error(), Error("deleted: Is a directory"));
  EXPECT_TRUE(fs::is_directory(path_));
}

}  // namespace
}  // namespace kvn
