#include "logging/log_writer.h"

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "logging/log_record.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kvn {

namespace {

// errno as left by a failed library call; a call that failed without saying
// why counts as an input/output error.
int LastError() { return errno != 0 ? errno : EIO; }

// Forces what the system holds of the file onto the disk.
bool SyncToDisk(std::FILE* file) {
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

// Forces the file's data (and its length) onto the disk, cheaper than a full
// sync: every line gets one, so that not even a power cut loses it.
bool SyncDataToDisk(std::FILE* file) {
#if defined(_WIN32)
  return _commit(_fileno(file)) == 0;
#elif defined(__linux__)
  return fdatasync(fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

// The file's length in bytes, or -1 when it cannot be told.
std::int64_t LengthOf(std::FILE* file) {
#ifdef _WIN32
  return _filelengthi64(_fileno(file));
#else
  struct stat st {};
  return fstat(fileno(file), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
#endif
}

// Cuts the file back to length bytes; false when the system refuses.
bool TruncateTo(std::FILE* file, std::int64_t length) {
#ifdef _WIN32
  return _chsize_s(_fileno(file), length) == 0;
#else
  return ftruncate(fileno(file), static_cast<off_t>(length)) == 0;
#endif
}

}  // namespace

LocalDateTime SystemLogClock::now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  const bool ok = localtime_s(&tm, &t) == 0;
#else
  const bool ok = localtime_r(&t, &tm) != nullptr;
#endif
  if (!ok) return {};
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LogWriter::LogWriter(DateClock& clock, std::string path) : clock_(clock), path_(std::move(path)) {}

LogWriter::~LogWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

LogResult LogWriter::start(const std::string& header) {
  // A start while a log is open begins again in the same file; the open
  // handle is let go first.
  if (file_ != nullptr) {
    if (auto error = closeFile()) return error;
  }
  if (auto error = open("ab")) return error;
  if (!header.empty()) header_ = header;
  if (auto error = writeOpening("Log Started on ", !header.empty())) return error;
  state_ = LogState::kRecording;
  return std::nullopt;
}

LogResult LogWriter::record(const std::string& text) { return writeRecord(" > ", text); }

LogResult LogWriter::message(const std::string& text) { return writeRecord(" # ", text); }

LogResult LogWriter::pause() { return event("Log Paused on ", LogState::kPaused); }

LogResult LogWriter::resume() { return event("Log Resumed on ", LogState::kRecording); }

LogResult LogWriter::writeOpening(const char* first, bool withHeader) {
  const LocalDateTime when = clock_.now();
  if (auto error = writeLine(EventLine(first, when))) return error;
  if (auto error = writeLine("Log File: " + path_)) return error;
  lines_ = 2;
  if (withHeader) {
    if (auto error = writeLine("Log Data Header: " + header_)) return error;
    lines_ = 3;
  }
  return std::nullopt;
}

LogResult LogWriter::writeRecord(const char* mark, const std::string& text) {
  if (auto error = requireOpen()) return error;
  if (auto error = writeLine(RecordLine(lines_, clock_.now(), mark, text))) return error;
  countLine();
  state_ = LogState::kRecording;
  return std::nullopt;
}

LogResult LogWriter::event(const char* prefix, LogState next) {
  if (auto error = requireOpen()) return error;
  if (auto error = writeLine(EventLine(prefix, clock_.now()))) return error;
  state_ = next;
  return std::nullopt;
}

LogResult LogWriter::flush() {
  if (auto error = requireOpen()) return error;
  if (auto error = writeLine(EventLine("Log Flushed on ", clock_.now()))) return error;
  errno = 0;
  if (!SyncToDisk(file_)) return fail("written to the disk", LastError());
  if (auto error = closeFile()) return error;
  if (auto error = open("ab")) return error;
  countLine();
  state_ = LogState::kRecording;
  return std::nullopt;
}

LogResult LogWriter::close() {
  if (file_ != nullptr) {
    if (auto error = writeLine(EventLine("Log Closed on ", clock_.now()))) return error;
    if (auto error = closeFile()) return error;
  }
  lines_ = 0;
  state_ = LogState::kClosed;
  return std::nullopt;
}

LogResult LogWriter::clear() {
  if (file_ != nullptr) {
    if (auto error = closeFile()) return error;
    if (auto error = open("wb")) return error;
    return writeOpening("Log ReStarted on ", !header_.empty());
  }
  // No log open: the file goes, if there is one. A folder in its place is
  // left alone and reported.
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path_, ec);
  if (status.type() == fs::file_type::not_found) return std::nullopt;
  if (status.type() == fs::file_type::directory) {
    ec = std::make_error_code(std::errc::is_a_directory);
  }
  if (!ec) fs::remove(path_, ec);
  if (!ec) return std::nullopt;
  failed_ = true;
  return "The log file " + path_ + " could not be deleted: " + ec.message();
}

LogResult LogWriter::requireOpen() {
  if (file_ != nullptr) return std::nullopt;
  state_ = LogState::kClosed;
  failed_ = true;
  return "No log is open, so nothing was written to the log file " + path_ + ".";
}

LogResult LogWriter::open(const char* mode) {
  errno = 0;
  file_ = std::fopen(path_.c_str(), mode);
  if (file_ == nullptr) return fail("opened", LastError());
  // Unbuffered: each line goes to the system in one write, and a line that
  // fails leaves nothing behind in a buffer that a later close could write.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  length_ = LengthOf(file_);
  return std::nullopt;
}

LogResult LogWriter::writeLine(const std::string& line) {
  std::string bytes;
  bytes.reserve(line.size() + 2);
  bytes += line;
  bytes += "\r\n";
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
      std::fflush(file_) != 0) {
    const int err = LastError();
    // A line that got only part of the way is taken back, so that the file
    // ends with a whole line and the next start begins on a line of its own.
    // Should that fail too, the fragment stays; the write is what is told.
    if (length_ >= 0 && !TruncateTo(file_, length_)) length_ = -1;
    return fail("written", err);
  }
  if (length_ >= 0) length_ += static_cast<std::int64_t>(bytes.size());
  errno = 0;
  if (!SyncDataToDisk(file_)) return fail("written to the disk", LastError());
  return std::nullopt;
}

LogResult LogWriter::closeFile() {
  std::FILE* file = std::exchange(file_, nullptr);
  errno = 0;
  if (std::fclose(file) != 0) return fail("closed", LastError());
  return std::nullopt;
}

LogResult LogWriter::fail(const char* what, int err) {
  if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
  lines_ = 0;
  state_ = LogState::kClosed;
  failed_ = true;
  return "The log file " + path_ + " could not be " + what + ": " +
         std::generic_category().message(err);
}

void LogWriter::countLine() {
  if (lines_ < std::numeric_limits<std::int32_t>::max()) ++lines_;
}

}  // namespace kvn
