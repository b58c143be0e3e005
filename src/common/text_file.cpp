#include "common/text_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include <cerrno>

#ifdef _WIN32
#include "common/windows_api.h"

#include <fstream>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kvn {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr int kTempAttempts = 100;

// The folder part of path, with its trailing separator ("" for a bare name),
// so that the temporary file lands beside the target and the rename stays
// within one file system.
std::string FolderOf(const std::string& path) {
#ifdef _WIN32
  const auto cut = path.find_last_of("\\/:");
#else
  const auto cut = path.find_last_of('/');
#endif
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

constexpr std::string_view kTempPrefix = ".~kvn-";
constexpr std::string_view kTempSuffix = ".tmp";

// ".~kvn-<process>-<counter>-<ticks>.tmp": hidden, and naming the process
// that made it, so that a later start can tell a stale one.
std::string TempName(const std::string& folder, unsigned long processId) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return folder + std::string(kTempPrefix) + std::to_string(processId) + "-" +
         std::to_string(counter++) + "-" + std::to_string(ticks % 1000000) +
         std::string(kTempSuffix);
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The process number in a name of TempName's form; 0 for any other name.
unsigned long TempNameProcess(std::string_view name) {
  if (name.size() <= kTempPrefix.size() + kTempSuffix.size() ||
      name.substr(0, kTempPrefix.size()) != kTempPrefix ||
      name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) {
    return 0;
  }
  name = name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
  std::string_view parts[3];
  for (auto& part : parts) {
    const auto dash = name.find('-');
    part = name.substr(0, dash);
    name = dash == std::string_view::npos ? std::string_view() : name.substr(dash + 1);
  }
  if (!name.empty() || !AllDigits(parts[0]) || !AllDigits(parts[1]) || !AllDigits(parts[2]) ||
      parts[0].size() > 9) {
    return 0;
  }
  return std::stoul(std::string(parts[0]));
}

bool ProcessRuns(unsigned long processId);

#ifdef _WIN32

}  // namespace

std::string WindowsErrorText(unsigned long err) {
  char* buf = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<LPSTR>(&buf), 0, nullptr);
  std::string text = (n != 0 && buf != nullptr) ? std::string(buf, n) : "Error " + std::to_string(err);
  if (buf != nullptr) LocalFree(buf);
  // The file a text speaks of ("%1 is not a valid Win32 application") is
  // named by the sentence around it.
  for (auto at = text.find("%1"); at != std::string::npos; at = text.find("%1", at)) {
    text.replace(at, 2, "the file");
  }
  // Without its full stop, the text reads as the C library's do inside the
  // program's own sentences.
  while (!text.empty() &&
         (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

namespace {

bool ProcessRuns(unsigned long processId) {
  if (processId == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

#else

std::string ErrnoText(int err) { return std::generic_category().message(err); }

bool ProcessRuns(unsigned long processId) {
  if (processId == static_cast<unsigned long>(::getpid())) return true;
  // Only "no such process" counts as gone; a process of another user, which
  // we may not signal, still runs.
  return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno != ESRCH;
}

// Writes all of content at offset `at` of fd; errno's value on failure.
int WriteAllAt(int fd, std::string_view content, off_t at) {
  while (!content.empty()) {
    const ssize_t n = ::pwrite(fd, content.data(), content.size(), at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    content.remove_prefix(static_cast<std::size_t>(n));
    at += n;
  }
  return 0;
}

// Writes content over the file at path where it stands, cuts it to that
// length and forces it to the disk. The file must exist.
//
// The old content is not touched until the new content is known to fit: it is
// first written after the old end and forced to the disk, so that a full disk,
// a quota or a size limit fails there, and the file is then cut back to its
// old length, as it was. Only then is it written over the old content, into
// space the file already holds, and cut to its new length.
std::optional<std::string> RewriteInPlace(const std::string& path, const std::string& content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ErrnoText(errno);
  auto fail = [fd](int err) {
    ::close(fd);
    return ErrnoText(err);
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(errno);
  if (!S_ISREG(st.st_mode)) return fail(EISDIR);
  const off_t oldEnd = st.st_size;
  if (const int err = WriteAllAt(fd, content, oldEnd); err != 0 || ::fsync(fd) != 0) {
    const int reason = err != 0 ? err : errno;
    // The write's failure is the reason to give. Should the cut fail as well,
    // a tail stays after the old content, and the next rewrite cuts it off.
    [[maybe_unused]] const int cut = ::ftruncate(fd, oldEnd);
    return fail(reason);
  }
  // Written first, cut after: a crash in between leaves the new content with
  // a stale tail rather than a shortened file.
  if (const int err = WriteAllAt(fd, content, 0); err != 0) return fail(err);
  if (::ftruncate(fd, static_cast<off_t>(content.size())) != 0) return fail(errno);
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) return ErrnoText(errno);
  return std::nullopt;
}

#endif

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name, char separator) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == separator || last == '/') return folder + name;
  return folder + separator + name;
}

std::string NativeSeparators(std::string path) {
#ifdef _WIN32
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::size_t total = 0;
  for (const auto& line : lines) total += line.size() + 2;
  std::string out;
  out.reserve(total);
  for (const auto& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

#ifdef _WIN32

std::optional<std::string> ReplaceFileAtomically(const std::string& path,
                                                 const std::string& content) {
  if (path.empty()) return std::string("No file name");
  const std::string folder = FolderOf(path);
  std::string temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kTempAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = TempName(folder, GetCurrentProcessId());
    file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD err = GetLastError();
      if (err != ERROR_FILE_EXISTS) return WindowsErrorText(err);
    }
  }
  if (file == INVALID_HANDLE_VALUE) return WindowsErrorText(ERROR_FILE_EXISTS);

  auto fail = [&](DWORD err) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    DeleteFileA(temp.c_str());
    return WindowsErrorText(err);
  };

  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, data, want, &written, nullptr)) return fail(GetLastError());
    if (written == 0) return fail(ERROR_WRITE_FAULT);
    data += written;
    left -= written;
  }
  if (!FlushFileBuffers(file)) return fail(GetLastError());
  const BOOL closed = CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  if (!closed) return fail(GetLastError());
  if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail(GetLastError());
  }
  return std::nullopt;
}

std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t maxBytes,
                                          std::string* reason) {
  auto fail = [reason](std::string why) -> std::optional<std::string> {
    if (reason != nullptr) *reason = std::move(why);
    return std::nullopt;
  };
  if (!IsPlainFile(path)) return fail("Not a plain file");
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(errno != 0 ? std::generic_category().message(errno) : "Cannot be opened");
  std::string out;
  while (out.size() < maxBytes) {
    const std::size_t old = out.size();
    const std::size_t want = std::min(maxBytes - old, kChunk);
    out.resize(old + want);
    in.read(out.data() + old, static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(in.gcount());
    out.resize(old + got);
    if (in.bad()) return fail("Read error");
    if (got < want) break;
  }
  return out;
}

#else

std::optional<std::string> ReplaceFileAtomically(const std::string& path,
                                                 const std::string& content) {
  if (path.empty()) return ErrnoText(ENOENT);
  const std::string folder = FolderOf(path);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < kTempAttempts && fd < 0; ++attempt) {
    temp = TempName(folder, static_cast<unsigned long>(::getpid()));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      // No file can be made beside the target; an existing target that can
      // be written is rewritten where it stands.
      const int folderError = errno;
      struct stat existing {};
      if (::stat(path.c_str(), &existing) != 0) return ErrnoText(folderError);
      return RewriteInPlace(path, content);
    }
  }
  if (fd < 0) return ErrnoText(EEXIST);

  auto fail = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return ErrnoText(err);
  };

  // The replacement keeps the permissions of the file it replaces, unless its
  // owner could not read them back (mode 000, say): then, as a new file, it
  // gets the usual ones (0666 less the umask, from open above).
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) && (old.st_mode & S_IRUSR) != 0) {
    ::fchmod(fd, old.st_mode & 07777);
  }

  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) return fail(EIO);
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return fail(errno);
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);

  // Make the rename itself durable; the new content is in place either way.
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return std::nullopt;
}

std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t maxBytes,
                                          std::string* reason) {
  auto fail = [reason](int err) -> std::optional<std::string> {
    if (reason != nullptr) *reason = ErrnoText(err);
    return std::nullopt;
  };
  // O_NONBLOCK so that a FIFO at path cannot hang the caller before the type
  // check below turns it away.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(errno);
  struct stat st {};
  int typeError = 0;
  if (::fstat(fd, &st) != 0) {
    typeError = errno;
  } else if (!S_ISREG(st.st_mode)) {
    typeError = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  }
  if (typeError != 0) {
    ::close(fd);
    return fail(typeError);
  }
  std::string out;
  while (out.size() < maxBytes) {
    const std::size_t old = out.size();
    const std::size_t want = std::min(maxBytes - old, kChunk);
    out.resize(old + want);
    const ssize_t n = ::read(fd, out.data() + old, want);
    if (n < 0) {
      out.resize(old);
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return fail(err);
    }
    out.resize(old + static_cast<std::size_t>(n));
    if (n == 0) break;
  }
  ::close(fd);
  return out;
}

#endif

int RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  std::error_code ec;
  std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec);
  int removed = 0;
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const unsigned long process = TempNameProcess(name);
    if (process == 0 || ProcessRuns(process)) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::error_code removeError;
    if (std::filesystem::remove(it->path(), removeError)) ++removed;
  }
  return removed;
}

bool IsPlainFile(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace kvn
