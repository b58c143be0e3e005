// The installer's file operations on the system's own calls: on Windows its
// file search and CopyFileA, with paths in the system's 8-bit code page as
// the program holds them; elsewhere std::filesystem, through the error_code
// overloads only, so that nothing here throws.
#include "install/driver_installer.h"

#ifdef _WIN32
#include "common/windows_api.h"
#else
#include <filesystem>
#include <system_error>
#endif

namespace kvn {

#ifdef _WIN32

namespace {

// True when a search for pattern finds a file that is not a folder.
bool SearchFindsFile(const std::string& pattern) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool file = false;
  do {
    file = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  } while (!file && FindNextFileA(search, &found));
  FindClose(search);
  return file;
}

}  // namespace

bool SystemInstallFileSystem::folderHasFiles(const std::string& folder) {
  if (folder.empty()) return false;
  const char last = folder.back();
  return SearchFindsFile(folder + (last == '\\' || last == '/' ? "" : "\\") + "*.*");
}

bool SystemInstallFileSystem::fileExists(const std::string& path) {
  // Wildcards would find some other file.
  return path.find_first_of("*?") == std::string::npos && SearchFindsFile(path);
}

bool SystemInstallFileSystem::copyFile(const std::string& from, const std::string& to) {
  // Copying a file onto itself (run from the target folder) fails with a
  // sharing violation; the file is already where it belongs.
  char fullFrom[MAX_PATH];
  char fullTo[MAX_PATH];
  const DWORD a = GetFullPathNameA(from.c_str(), MAX_PATH, fullFrom, nullptr);
  const DWORD b = GetFullPathNameA(to.c_str(), MAX_PATH, fullTo, nullptr);
  if (a > 0 && a < MAX_PATH && b > 0 && b < MAX_PATH && lstrcmpiA(fullFrom, fullTo) == 0 &&
      SearchFindsFile(from)) {
    return true;
  }
  // A read-only target stays as it is, as Windows' own copy leaves it, also
  // where the system would let its user write over it anyway (Wine run by
  // root).
  const DWORD target = GetFileAttributesA(to.c_str());
  if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_READONLY) != 0) return false;
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

#else

namespace stdfs = std::filesystem;

bool SystemInstallFileSystem::folderHasFiles(const std::string& folder) {
  std::error_code ec;
  stdfs::directory_iterator it(stdfs::path(folder), ec);
  // A folder that cannot be read counts as empty; so do subfolders.
  for (; !ec && it != stdfs::directory_iterator(); it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_regular_file(typeEc)) return true;
  }
  return false;
}

bool SystemInstallFileSystem::fileExists(const std::string& path) {
  std::error_code ec;
  return stdfs::is_regular_file(stdfs::path(path), ec);
}

bool SystemInstallFileSystem::copyFile(const std::string& from, const std::string& to) {
  const stdfs::path source(from);
  const stdfs::path target(to);
  std::error_code ec;
  // Run from the target folder itself, the file is already where it belongs;
  // the standard copy would refuse to copy a file onto itself.
  if (stdfs::equivalent(source, target, ec)) return true;
  ec.clear();
  const bool copied =
      stdfs::copy_file(source, target, stdfs::copy_options::overwrite_existing, ec);
  return copied && !ec;
}

#endif

}  // namespace kvn
