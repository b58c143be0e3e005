// Files named in the system's 8-bit code page, as the program names them: a
// byte above 127 in a name means on Windows the character of the system's
// code page (é for 0xE9 in Western Europe's 1252); elsewhere a name is its
// bytes.
#pragma once

#include <string>

#ifdef _WIN32
#include "common/windows_api.h"
#else
#include <sys/stat.h>
#endif

namespace kvn::test {

// "é" in the system's 8-bit code page; and in Latin-1 everywhere else.
inline constexpr const char* kLatin1E = "\xE9";

// True when a file exists under path, its bytes read in the system's 8-bit
// code page (on Windows, by the path in UTF-16 that the code page makes of
// them, so that a name stored in another form is not found).
inline bool ExistsInSystemCodePage(const std::string& path) {
#ifdef _WIN32
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(),
                                    static_cast<int>(path.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                      wide.data(), n);
  return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
#endif
}

// Makes a folder of that name (its parent exists), named as the program names
// files; std::filesystem takes the bytes of a name for UTF-8 on Windows.
inline bool MakeFolderInSystemCodePage(const std::string& path) {
#ifdef _WIN32
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
#else
  return ::mkdir(path.c_str(), 0777) == 0;
#endif
}

}  // namespace kvn::test
