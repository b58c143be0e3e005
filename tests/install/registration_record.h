// What the stand-ins for the driver's registration tools write down when they
// run: the process's command line, its program file and its working folder,
// one per line, into a file of the given name beside the stand-in itself.
#pragma once

#include "common/windows_api.h"

#include <cstdio>
#include <string>

namespace kvn::test {

inline void WriteRegistrationRecord(HMODULE self, const char* recordName) {
  char own[MAX_PATH] = {};
  char program[MAX_PATH] = {};
  char folder[MAX_PATH] = {};
  GetModuleFileNameA(self, own, MAX_PATH);
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, folder);
  std::string path = own;
  path = path.substr(0, path.find_last_of('\\') + 1) + recordName;
  // Written beside, then renamed: whoever waits for the record sees it whole.
  const std::string part = path + ".part";
  std::FILE* out = std::fopen(part.c_str(), "wb");
  if (out == nullptr) return;
  std::fprintf(out, "%s\n%s\n%s\n", GetCommandLineA(), program, folder);
  std::fclose(out);
  MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace kvn::test
