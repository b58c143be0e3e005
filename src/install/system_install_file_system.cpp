// The installer's file operations on std::filesystem, using only the
// error_code overloads so that nothing here throws.
#include <filesystem>
#include <system_error>

#include "install/driver_installer.h"

namespace kvn {

namespace stdfs = std::filesystem;

bool StdInstallFileSystem::folderHasFiles(const std::string& folder) {
  std::error_code ec;
  stdfs::directory_iterator it(stdfs::path(folder), ec);
  // A folder that cannot be read counts as empty; so do subfolders.
  for (; !ec && it != stdfs::directory_iterator(); it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_regular_file(typeEc)) return true;
  }
  return false;
}

bool StdInstallFileSystem::fileExists(const std::string& path) {
  std::error_code ec;
  return stdfs::is_regular_file(stdfs::path(path), ec);
}

bool StdInstallFileSystem::copyFile(const std::string& from, const std::string& to) {
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

}  // namespace kvn
