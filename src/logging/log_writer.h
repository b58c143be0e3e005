// The log writer: the one state machine through which every line reaches the
// log file kvnvb_DazEvo.Log. The logging controls, the scan tick and Quit hand
// it a request in the log state; it writes the matching lines and settles the
// state again. Free of any window toolkit: the caller shows lines() in the
// log counter label after every call and error() in a message box when a
// call returns false.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/date_time_forms.h"
#include "shared/platform.h"

namespace kvn {

// Values of the log state. At rest it is kLogNone, kLogRecording or
// kLogPaused; the others are requests that LoggingFunction settles.
inline constexpr std::int16_t kLogNone = 0;
inline constexpr std::int16_t kLogStart = 1;
inline constexpr std::int16_t kLogRecording = 2;  // at rest; as a request: one data record
inline constexpr std::int16_t kLogFlush = 3;
inline constexpr std::int16_t kLogClose = 4;
inline constexpr std::int16_t kLogPause = 5;
inline constexpr std::int16_t kLogPaused = 6;
inline constexpr std::int16_t kLogResume = 7;
inline constexpr std::int16_t kLogMessage = 8;
inline constexpr std::int16_t kLogClear = 9;

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

  // Acts on the request in state and leaves the new state there:
  //   1 start: opens the log for appending (created when missing), writes
  //     "Log Started on ..." and "Log File: <path>", and, when text is not
  //     empty, saves it as the header and writes "Log Data Header: <text>";
  //     lines() restarts at 3 (2 without header); state 2.
  //   2 data record "<counter> <date> <time> > <text>", counted; state 2.
  //   3 flush: "Log Flushed on ...", counted; the file is forced to the disk,
  //     closed and opened again; state 2.
  //   4 close: "Log Closed on ..."; closes the log; lines() 0; state 0.
  //   5 pause: "Log Paused on ...", not counted; state 6.
  //   7 resume: "Log Resumed on ...", not counted; state 2.
  //   8 user message "<counter> <date> <time> # <text>", counted; state 2.
  //   9 clear: with a log open, the file is emptied and begins again with
  //     "Log ReStarted on ...", the file line and the saved header (if any);
  //     lines() 3 or 2; state 2. With no log open, a file at the path is
  //     deleted (nothing else happens when there is none) and state stays 9.
  //   0, 6 and any other value: nothing.
  // Texts are written byte for byte. Every line ends in CR LF and is on the
  // disk (not just in a buffer) before the call returns, so neither a crash
  // of the program nor one of the machine loses it; a line whose write fails
  // part way is taken back.
  //
  // With no log open, requests 2, 3, 5, 7 and 8 write nothing, set state 0
  // and return false ("no log is open"); a close (4) just sets state 0.
  //
  // Returns false when the request was not carried out; error() then tells
  // why, naming the file. After a false return no log is open (isOpen() is
  // false, lines() is 0): a log that cannot be opened, written, forced to the
  // disk or closed is closed and state is 0 (a clear with no log open keeps
  // its 9). A caller that passed a temporary copy of its state (clear, Quit)
  // sets its own state to 0 then.
  bool LoggingFunction(std::int16_t& state, const std::string& text);

  // Lines written since the latest start or clear, as counted above.
  std::int32_t lines() const { return lines_; }
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // Why the latest call returned false; empty after a call that returned true.
  const std::string& error() const { return error_; }

 private:
  bool start(std::int16_t& state, const std::string& header);
  bool record(std::int16_t& state, const char* mark, const std::string& text);
  bool event(std::int16_t& state, const char* prefix, std::int16_t next);
  bool flush(std::int16_t& state);
  bool close(std::int16_t& state);
  bool clear(std::int16_t& state);

  // The opening lines of a start or a clear: first line, file line and,
  // withHeader, the saved header line; sets lines_ and the state.
  bool writeOpening(std::int16_t& state, const char* first, bool withHeader);
  bool requireOpen(std::int16_t& state);
  bool open(std::int16_t& state, const char* mode);
  bool writeLine(std::int16_t& state, const std::string& line);
  // Closes the file; on failure reports it as fail() does.
  bool closeFile(std::int16_t& state);
  // Records the failure, closes the log without another word and sets the
  // state to 0.
  bool fail(std::int16_t& state, const char* what, int err);
  void countLine();

  DateClock& clock_;
  std::string path_;
  std::FILE* file_ = nullptr;
  std::int64_t length_ = -1;  // bytes in the open file; -1 when unknown
  std::int32_t lines_ = 0;
  std::string header_;
  std::string error_;
};

}  // namespace kvn
