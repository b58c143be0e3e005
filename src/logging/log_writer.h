// The log writer: the one state machine through which every line reaches the
// log file kvnvb_DazEvo.Log, and the one place that knows whether a log is
// open. The logging controls, the scan and Quit each make their request; it
// writes the matching lines. Free of any window toolkit: the caller shows
// lines() in the log counter label after every request and the reason of a
// request that failed in a message box.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "common/date_time_forms.h"
#include "shared/platform.h"

namespace kvn {

// Whether a log is open, and whether it records the scan's data records.
enum class LogState { kClosed, kRecording, kPaused };

// What a request came to: nothing when it was carried out, otherwise why not,
// naming the file.
using LogResult = std::optional<std::string>;

// The computer's local time.
class SystemLogClock final : public DateClock {
 public:
  LocalDateTime now() override;
};

class LogWriter {
 public:
  // path: the log file (the working directory at start-up joined with
  // "kvnvb_DazEvo.Log"). The clock must outlive the writer.
  LogWriter(DateClock& clock, std::string path);
  ~LogWriter();  // closes an open log without writing a line
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // The requests. Texts are written byte for byte. Every line ends in CR LF
  // and is on the disk (not just in a buffer) before the request returns, so
  // neither a crash of the program nor one of the machine loses it; a line
  // whose write fails part way is taken back.
  //
  // A request that fails closes the log (state() kClosed, lines() 0) and
  // gives the reason; failed() is true from then on. With no log open,
  // record, message, flush, pause and resume write nothing and fail ("no log
  // is open").

  // Opens the log for appending (created when missing; a log already open is
  // let go first and begins again), writes "Log Started on ..." and
  // "Log File: <path>", and, when header is not empty, saves it and writes
  // "Log Data Header: <header>"; lines() restarts at 3 (2 without header).
  // Recording.
  LogResult start(const std::string& header);
  // A data record "<counter> <date> <time> > <text>", counted.
  LogResult record(const std::string& text);
  // A user message "<counter> <date> <time> # <text>", counted. Recording,
  // also after a pause (with no resume line).
  LogResult message(const std::string& text);
  // "Log Flushed on ...", counted; the file is forced to the disk, closed and
  // opened again. Recording.
  LogResult flush();
  // "Log Paused on ..." / "Log Resumed on ...", not counted.
  LogResult pause();
  LogResult resume();
  // "Log Closed on ..."; closes the log; lines() 0. With no log open it only
  // makes sure of that.
  LogResult close();
  // With a log open, the file is emptied and begins again with "Log ReStarted
  // on ...", the file line and the saved header (if any); lines() 3 or 2; the
  // state stays as it was. With no log open, a file at the path is deleted
  // (nothing happens when there is none).
  LogResult clear();

  LogState state() const { return state_; }
  // Lines written since the latest start or clear, as counted above.
  std::int32_t lines() const { return lines_; }
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // True once a request failed during the life of the writer.
  bool failed() const { return failed_; }

 private:
  // The opening lines of a start or a clear: first line, file line and,
  // withHeader, the saved header line; sets lines_.
  LogResult writeOpening(const char* first, bool withHeader);
  LogResult writeRecord(const char* mark, const std::string& text);
  LogResult event(const char* prefix, LogState next);
  LogResult requireOpen();
  LogResult open(const char* mode);
  LogResult writeLine(const std::string& line);
  // Closes the file; on failure reports it as fail() does.
  LogResult closeFile();
  // Closes the log without another word and gives the reason.
  LogResult fail(const char* what, int err);
  void countLine();

  DateClock& clock_;
  std::string path_;
  std::FILE* file_ = nullptr;
  std::int64_t length_ = -1;  // bytes in the open file; -1 when unknown
  std::int32_t lines_ = 0;
  std::string header_;
  LogState state_ = LogState::kClosed;
  bool failed_ = false;
};

}  // namespace kvn
