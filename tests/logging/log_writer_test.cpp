#include "logging/log_writer.h"

#include "common/text_file.h"
#include "support/system_names.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kvn {
namespace {

namespace fs = std::filesystem;

enum class Request { kStart, kRecord, kFlush, kClose, kPause, kResume, kMessage, kClear };

LogResult Make(LogWriter& log, Request request, const std::string& text) {
  switch (request) {
    case Request::kStart: return log.start(text);
    case Request::kRecord: return log.record(text);
    case Request::kFlush: return log.flush();
    case Request::kClose: return log.close();
    case Request::kPause: return log.pause();
    case Request::kResume: return log.resume();
    case Request::kMessage: return log.message(text);
    case Request::kClear: return log.clear();
  }
  return std::nullopt;
}

class FakeClock final : public DateClock {
 public:
  LocalDateTime now() override { return time; }
  void at(int h, int m, int s) { time.hour = h, time.minute = m, time.second = s; }
  LocalDateTime time{2026, 12, 6, 9, 15, 0};
};

// What the C library says of a file name that is a folder, opened for
// writing.
#ifdef _WIN32
const std::string kFolderReason = "Permission denied";
#else
const std::string kFolderReason = "Is a directory";
#endif

const std::string kHeader = "TempCurrent TempHighSet, TempLowSet, Analog0, Analog1, Analog2, Analog3";

std::string CrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

class LogWriterTest : public ::testing::Test {
 protected:
  std::string File() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // One request; returns the state it left.
  LogState Call(Request request, const std::string& text = "") {
    result_ = Make(log_, request, text);
    ok_ = !result_;
    return log_.state();
  }
  std::string error() const { return result_.value_or(""); }
  // The lines that open a log, on the clock's 09:15:00.
  std::string Opening(const std::string& first, bool header) const {
    return CrLf({first + "12-06-2026 at 09:15:00", "Log File: " + path_}) +
           (header ? CrLf({"Log Data Header: " + kHeader}) : "");
  }
  std::string Error(const std::string& what) const {
    return "The log file " + path_ + " could not be " + what;
  }

  const test::TempFolder folder_{"kvn_log"};
  const fs::path& dir_ = folder_.path();
  const std::string path_ = (dir_ / "kvnvb_DazEvo.Log").string();
  FakeClock clock_;
  LogWriter log_{clock_, path_};
  LogResult result_;
  bool ok_ = false;
};

// Each line is in the file as soon as the call returns: the file is read
// after every step, with the log still open.
TEST_F(LogWriterTest, ExampleLog) {
  EXPECT_EQ(Call(Request::kStart, kHeader), LogState::kRecording);
  EXPECT_TRUE(ok_);
  EXPECT_EQ(log_.lines(), 3);
  std::string expected = Opening("Log Started on ", true);
  EXPECT_EQ(File(), expected);

  struct Step {
    Request request;
    int second;
    std::string text;
    LogState after;
    int lines;
    std::string line;
  };
  const std::vector<Step> steps = {
      {Request::kRecord, 1, " 25.5, 30, 10, 123, 45, 0, 255", LogState::kRecording, 4,
       "       3 12-06-2026 09:15:01 >  25.5, 30, 10, 123, 45, 0, 255"},
      {Request::kRecord, 2, " 25.5, 30, 10, 124, 45, 0, 255", LogState::kRecording, 5,
       "       4 12-06-2026 09:15:02 >  25.5, 30, 10, 124, 45, 0, 255"},
      {Request::kMessage, 2, "fan test", LogState::kRecording, 6, "       5 12-06-2026 09:15:02 # fan test"},
      {Request::kPause, 3, "", LogState::kPaused, 6, "Log Paused on 12-06-2026 at 09:15:03"},
      {Request::kResume, 9, "", LogState::kRecording, 6, "Log Resumed on 12-06-2026 at 09:15:09"},
      {Request::kRecord, 10, " 26, 30, 10, 124, 45, 0, 255", LogState::kRecording, 7,
       "       6 12-06-2026 09:15:10 >  26, 30, 10, 124, 45, 0, 255"},
      {Request::kFlush, 11, "", LogState::kRecording, 8, "Log Flushed on 12-06-2026 at 09:15:11"},
      {Request::kRecord, 12, " 26, 30, 10, 125, 45, 0, 255", LogState::kRecording, 9,
       "       8 12-06-2026 09:15:12 >  26, 30, 10, 125, 45, 0, 255"},
      {Request::kClose, 13, "", LogState::kClosed, 0, "Log Closed on 12-06-2026 at 09:15:13"},
  };
  for (const Step& s : steps) {
    clock_.at(9, 15, s.second);
    EXPECT_EQ(Call(s.request, s.text), s.after) << s.line;
    EXPECT_TRUE(ok_) << error();
    EXPECT_EQ(log_.lines(), s.lines) << s.line;
    EXPECT_EQ(File(), expected += CrLf({s.line}));
  }
  EXPECT_FALSE(log_.isOpen());
}

TEST_F(LogWriterTest, StartAppendsAndRestartsTheCounter) {
  { std::ofstream(path_, std::ios::binary) << "earlier\r\n"; }
  Call(Request::kStart, kHeader);
  Call(Request::kRecord, " 1");
  Call(Request::kClose);
  Call(Request::kStart);
  EXPECT_EQ(log_.lines(), 2);
  Call(Request::kRecord, " 2");
  EXPECT_EQ(File(), "earlier\r\n" + Opening("Log Started on ", true) +
                        CrLf({"       3 12-06-2026 09:15:00 >  1", "Log Closed on 12-06-2026 at 09:15:00"}) +
                        Opening("Log Started on ", false) + CrLf({"       2 12-06-2026 09:15:00 >  2"}));
}

TEST_F(LogWriterTest, ClearWithALogOpenRestartsTheFileWithTheSavedHeader) {
  Call(Request::kStart, kHeader);
  Call(Request::kRecord, " 1");
  EXPECT_EQ(Call(Request::kClear), LogState::kRecording);
  EXPECT_TRUE(ok_);
  EXPECT_EQ(log_.lines(), 3);
  Call(Request::kRecord, " 2");
  EXPECT_EQ(File(), Opening("Log ReStarted on ", true) + CrLf({"       3 12-06-2026 09:15:00 >  2"}));

  // A later start without a header writes none, but a clear still brings
  // back the header of the latest start that had one.
  Call(Request::kClose);
  Call(Request::kStart);
  EXPECT_EQ(Call(Request::kPause), LogState::kPaused);
  EXPECT_EQ(Call(Request::kClear), LogState::kPaused);  // a pause stays
  EXPECT_EQ(File(), Opening("Log ReStarted on ", true));
}

TEST_F(LogWriterTest, ClearWithNoLogOpenDeletesTheFile) {
  EXPECT_EQ(Call(Request::kClear), LogState::kClosed);
  EXPECT_TRUE(ok_);
  EXPECT_FALSE(fs::exists(path_));

  Call(Request::kStart);
  Call(Request::kClose);
  EXPECT_EQ(Call(Request::kClear), LogState::kClosed);
  EXPECT_TRUE(ok_);
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(log_.lines(), 0);
}

// Every request but a clear (see above), recording and paused alike.
TEST_F(LogWriterTest, RequestsWithALogOpen) {
  const std::string at = " on 12-06-2026 at 09:15:00\r\n";
  const struct {
    Request request;
    LogState after;
    std::string appended;
    int lines;
  } table[] = {
      {Request::kStart, LogState::kRecording, Opening("Log Started on ", false) + "Log Data Header: x\r\n", 3},
      {Request::kRecord, LogState::kRecording, "       3 12-06-2026 09:15:00 > x\r\n", 4},
      {Request::kFlush, LogState::kRecording, "Log Flushed" + at, 4},
      {Request::kClose, LogState::kClosed, "Log Closed" + at, 0},
      {Request::kPause, LogState::kPaused, "Log Paused" + at, 3},
      {Request::kResume, LogState::kRecording, "Log Resumed" + at, 3},
      // From a pause, a message ends the pause without a resume line.
      {Request::kMessage, LogState::kRecording, "       3 12-06-2026 09:15:00 # x\r\n", 4},
  };
  for (const bool paused : {false, true}) {
    for (const auto& e : table) {
      fs::remove(path_);
      Call(Request::kStart, kHeader);
      if (paused) Call(Request::kPause);
      const std::string before = File();
      EXPECT_EQ(Call(e.request, "x"), e.after) << e.appended << " paused " << paused;
      EXPECT_TRUE(ok_);
      EXPECT_EQ(log_.lines(), e.lines) << e.appended;
      EXPECT_EQ(File(), before + e.appended) << e.appended;
      EXPECT_EQ(log_.isOpen(), e.request != Request::kClose);
      Call(Request::kClose);
    }
  }
}

TEST_F(LogWriterTest, RequestsWithNoLogOpenWriteNothing) {
  for (const bool filePresent : {false, true}) {
    if (filePresent) { std::ofstream(path_, std::ios::binary) << "kept\r\n"; }
    for (const Request request : {Request::kRecord, Request::kFlush, Request::kPause,
                                  Request::kResume, Request::kMessage}) {
      EXPECT_EQ(Call(request, "x"), LogState::kClosed);
      EXPECT_FALSE(ok_);
      EXPECT_EQ(error(), "No log is open, so nothing was written to the log file " + path_ + ".");
    }
    EXPECT_EQ(Call(Request::kClose, "x"), LogState::kClosed);
    EXPECT_TRUE(ok_);
    EXPECT_FALSE(log_.isOpen());
    EXPECT_EQ(fs::exists(path_), filePresent);
    if (filePresent) {
      EXPECT_EQ(File(), "kept\r\n");
    }
  }
}

TEST_F(LogWriterTest, Latin1MessageAndFolderRoundTripByteForByte) {
  // The working folder and the message in the system's 8-bit code page.
  const std::string folder = JoinPath(dir_.string(), std::string("Donn") + test::kLatin1E + "es");
  ASSERT_TRUE(test::MakeFolderInSystemCodePage(folder));
  const std::string path = JoinPath(folder, "kvnvb_DazEvo.Log");
  LogWriter log(clock_, path);
  const std::string message = "Ventilateur arr\xEAt\xE9 \xE0 9 h";
  ASSERT_EQ(log.start(kHeader), std::nullopt);
  ASSERT_EQ(log.message(message), std::nullopt);
  ASSERT_EQ(log.close(), std::nullopt);
  EXPECT_TRUE(test::ExistsInSystemCodePage(path)) << path;

  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find(" 12-06-2026 09:15:00 # " + message + "\r\nLog Closed"), std::string::npos)
      << bytes;
  EXPECT_EQ(bytes.find("\n\n"), std::string::npos);
  EXPECT_EQ(bytes.find("\r\r"), std::string::npos);
}

TEST_F(LogWriterTest, StartThatCannotOpenTheFileLeavesNoLogOpen) {
  fs::create_directory(path_);
  EXPECT_EQ(Call(Request::kStart, kHeader), LogState::kClosed);
  EXPECT_FALSE(ok_);
  EXPECT_EQ(error(), Error("opened: " + kFolderReason));
  EXPECT_FALSE(log_.isOpen());
  EXPECT_EQ(log_.lines(), 0);

  LogWriter elsewhere(clock_, (dir_ / "missing" / "kvnvb_DazEvo.Log").string());
  EXPECT_EQ(elsewhere.start(""),
            "The log file " + elsewhere.path() + " could not be opened: No such file or directory");
}

#ifndef _WIN32
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
  Call(Request::kStart, kHeader);
  const std::string before = File();
  {
    FileSizeLimit full(before.size() + 10);
    EXPECT_EQ(Call(Request::kRecord, " 1, 2, 3, 4, 5, 6, 7"), LogState::kClosed);
    EXPECT_FALSE(ok_);
    EXPECT_EQ(error(), Error("written: File too large"));
    EXPECT_FALSE(log_.isOpen());
    EXPECT_EQ(log_.lines(), 0);

    // The part of the line that fitted is taken back.
    EXPECT_EQ(File(), before);

    // A start on the full file fails in its first line just the same.
    FileSizeLimit fuller(before.size());
    EXPECT_EQ(Call(Request::kStart), LogState::kClosed);
    EXPECT_EQ(error(), Error("written: File too large"));
    EXPECT_FALSE(log_.isOpen());
  }
  EXPECT_EQ(File(), before);
  EXPECT_EQ(Call(Request::kStart), LogState::kRecording);
  EXPECT_TRUE(ok_);
}

// A log that is open cannot be moved away on Windows.
TEST_F(LogWriterTest, FlushOrClearThatCannotReopenClosesTheLog) {
  const std::string moved = (dir_ / "moved.Log").string();
  for (const Request request : {Request::kFlush, Request::kClear}) {
    Call(Request::kStart);
    fs::rename(path_, moved);
    fs::create_directory(path_);
    EXPECT_EQ(Call(request), LogState::kClosed);
    EXPECT_FALSE(ok_);
    EXPECT_EQ(error(), Error("opened: " + kFolderReason));
    EXPECT_FALSE(log_.isOpen());
    EXPECT_EQ(log_.lines(), 0);
    fs::remove(path_);
  }
}

#endif

TEST_F(LogWriterTest, ClearThatCannotDeleteIsReported) {
  fs::create_directory(path_);
  EXPECT_EQ(Call(Request::kClear), LogState::kClosed);
  EXPECT_FALSE(ok_);
  EXPECT_EQ(error(), Error("deleted: Is a directory"));
  EXPECT_TRUE(fs::is_directory(path_));
}

}  // namespace
}  // namespace kvn
