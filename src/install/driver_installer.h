// Puts the driver's support files in place before the first board call.
//
// The algorithm is written against a small file-system and launcher layer,
// with the system drive as a parameter, so that it can be tested against a
// temporary folder and a launcher that only records what it would start.
#pragma once

#include <memory>
#include <string>

namespace kvn {

// File operations the installer needs. Paths are used as given.
class InstallFileSystem {
 public:
  virtual ~InstallFileSystem() = default;
  // True when the folder holds at least one plain file.
  virtual bool folderHasFiles(const std::string& folder) = 0;
  // True when a plain file exists at path.
  virtual bool fileExists(const std::string& path) = 0;
  // Copies from -> to, replacing the target. False on failure.
  virtual bool copyFile(const std::string& from, const std::string& to) = 0;
};

// Starts another program the way the shell's "open" verb does, without waiting.
class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  virtual void shellOpen(const std::string& file, const std::string& parameters,
                         const std::string& workingDirectory) = 0;
};

// The two installation steps of start-up.
class Installation {
 public:
  virtual ~Installation() = default;
  virtual void InstallDriverFiles() = 0;
  virtual void InstallFormatLibrary() = 0;
};

// The installation steps against a system drive root ("c:\" on the target
// system, a temporary folder in tests). Folder paths below the root are
// joined with the given separator.
class DriverInstaller final : public Installation {
 public:
  DriverInstaller(InstallFileSystem& fs, ProgramLauncher& launcher, std::string programFolder,
                  std::string systemRoot, char separator);
  void InstallDriverFiles() override;
  void InstallFormatLibrary() override;

 private:
  InstallFileSystem& fs_;
  ProgramLauncher& launcher_;
  std::string programFolder_;
  std::string systemRoot_;
  char sep_;
};

// The installation this platform needs. On Windows it is DriverInstaller on
// the fixed system folders with the shell's "open" verb; elsewhere the driver
// library already lies beside the executable and nothing needs registering,
// so both steps do nothing.
std::unique_ptr<Installation> MakePlatformInstallation(const std::string& programFolder);

}  // namespace kvn
