#include "common/text_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string TempName(const std::string& folder, unsigned long processId) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return folder + ".~kvn-" + std::to_string(processId) + "-" + std::to_string(counter++) + "-" +
         std::to_string(ticks % 1000000) + ".tmp";
}

#ifdef _WIN32

std::string WinErrorText(DWORD err) {
  char* buf = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<LPSTR>(&buf), 0, nullptr);
  std::string text = (n != 0 && buf != nullptr) ? std::string(buf, n) : "Error " + std::to_string(err);
  if (buf != nullptr) LocalFree(buf);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

#else

std::string ErrnoText(int err) { return std::generic_category().message(err); }

#endif

}  // namespace

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
      if (err != ERROR_FILE_EXISTS) return WinErrorText(err);
    }
  }
  if (file == INVALID_HANDLE_VALUE) return WinErrorText(ERROR_FILE_EXISTS);

  auto fail = [&](DWORD err) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    DeleteFileA(temp.c_str());
    return WinErrorText(err);
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

std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t maxBytes) {
  if (!IsPlainFile(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string out;
  while (out.size() < maxBytes) {
    const std::size_t old = out.size();
    const std::size_t want = std::min(maxBytes - old, kChunk);
    out.resize(old + want);
    in.read(out.data() + old, static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(in.gcount());
    out.resize(old + got);
    if (in.bad()) return std::nullopt;
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
    if (fd < 0 && errno != EEXIST) return ErrnoText(errno);
  }
  if (fd < 0) return ErrnoText(EEXIST);

  auto fail = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return ErrnoText(err);
  };

  // The replacement keeps the permissions of the file it replaces; a new file
  // gets the usual ones (0666 less the umask, from open above).
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
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

std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t maxBytes) {
  // O_NONBLOCK so that a FIFO at path cannot hang the caller before the type
  // check below turns it away.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
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
      ::close(fd);
      return std::nullopt;
    }
    out.resize(old + static_cast<std::size_t>(n));
    if (n == 0) break;
  }
  ::close(fd);
  return out;
}

#endif

bool IsPlainFile(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace kvn
