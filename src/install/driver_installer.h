// Puts the driver's support files in place before the first board call.
//
// The algorithm is written against a small file-system and launcher layer,
// with the system drive as a parameter, so that it can be tested against a
// temporary folder and a launcher that only records what it would start.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kvn {

class Dialogs;

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

// InstallFileSystem on the system's own calls (Windows' file search and copy;
// std::filesystem elsewhere). Never throws: every error is a false.
class SystemInstallFileSystem final : public InstallFileSystem {
 public:
  bool folderHasFiles(const std::string& folder) override;
  bool fileExists(const std::string& path) override;
  bool copyFile(const std::string& from, const std::string& to) override;
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
  // One line per copy that could not be made, in the order tried. Both steps
  // go on past a failed copy; the caller decides whether to tell the user.
  virtual std::vector<std::string> failures() const { return {}; }
};

// The installation steps against a system drive root ("c:\" on the target
// system, a temporary folder in tests). Folder paths below the root are
// joined with the given separator; the root is expected to end with one.
// Files from the program folder are the folder, the separator and the name.
// The registration tools are started in workingDirectory, which is the root
// itself unless given; the format library's tool is regsvr32, the program
// named so unless given (its full path in the system folder on Windows).
class DriverInstaller final : public Installation {
 public:
  DriverInstaller(InstallFileSystem& fs, ProgramLauncher& launcher, std::string programFolder,
                  std::string systemRoot, char separator);
  DriverInstaller(InstallFileSystem& fs, ProgramLauncher& launcher, std::string programFolder,
                  std::string systemRoot, char separator, std::string workingDirectory,
                  std::string regsvr32 = "regsvr32.exe");
  void InstallDriverFiles() override;
  void InstallFormatLibrary() override;
  // Lines of the form "Could not copy <from> to <to>".
  std::vector<std::string> failures() const override;

 private:
  std::string inProgramFolder(const char* name) const;
  void copy(const std::string& from, const std::string& to);

  InstallFileSystem& fs_;
  ProgramLauncher& launcher_;
  std::string programFolder_;
  std::string systemRoot_;
  char sep_;
  std::string workingDirectory_;
  std::string regsvr32_;
  std::vector<std::string> failures_;
};

// Start-up's installation: both steps, then their failures told. Started
// without command-line text, the program tells them in a box; with some (an
// unattended start, such as a logger's with /L) on `unattended` instead,
// standard error in the program, so that no box waits for an answer that
// nobody is there to give.
void InstallAtStartUp(Installation& installation, bool attended, Dialogs& dialogs,
                      std::FILE* unattended);

// The installation this platform needs. On Windows it is DriverInstaller on
// the fixed system folders with the shell's "open" verb, regsvr32 from the
// system folder, and the program folder with Windows' own separators;
// elsewhere the driver library already lies beside the executable and
// nothing needs registering, so both steps do nothing.
std::unique_ptr<Installation> MakePlatformInstallation(const std::string& programFolder);

}  // namespace kvn
