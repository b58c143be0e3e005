// The installation for the platform the program was built for.
#include "install/driver_installer.h"

#include "common/text_file.h"

#ifdef _WIN32
#include "common/windows_api.h"
// windows.h first: shellapi.h relies on its types.
#include <shellapi.h>
#endif

namespace kvn {

namespace {

#ifdef _WIN32

// The shell's "open" verb. The started tool runs on by itself and reports in
// its own way, so the shell's result is not looked at.
class ShellLauncher final : public ProgramLauncher {
 public:
  void shellOpen(const std::string& file, const std::string& parameters,
                 const std::string& workingDirectory) override {
    static_cast<void>(ShellExecuteA(nullptr, "open", file.c_str(), parameters.c_str(),
                                    workingDirectory.c_str(), SW_SHOWNORMAL));
  }
};

// regsvr32 by its full path in the system folder, so that no program of
// that name in the working directory or on the search path is started
// instead.
std::string SystemRegsvr32() {
  char folder[MAX_PATH];
  const UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "regsvr32.exe";
  return JoinPath(std::string(folder, n), "regsvr32.exe");
}

// DriverInstaller on the system drive, owning the file system and launcher
// it works through. Paths are handed to the system in its ANSI code page.
class WindowsInstallation final : public Installation {
 public:
  explicit WindowsInstallation(const std::string& programFolder)
      : installer_(files_, launcher_, NativeSeparators(programFolder), "c:\\", '\\', "C:\\",
                   SystemRegsvr32()) {}
  void InstallDriverFiles() override { installer_.InstallDriverFiles(); }
  void InstallFormatLibrary() override { installer_.InstallFormatLibrary(); }
  std::vector<std::string> failures() const override { return installer_.failures(); }

 private:
  SystemInstallFileSystem files_;
  ShellLauncher launcher_;
  DriverInstaller installer_;
};

#else

// Elsewhere the driver library is loaded from beside the executable and
// there is nothing to register.
class NothingToInstall final : public Installation {
 public:
  void InstallDriverFiles() override {}
  void InstallFormatLibrary() override {}
};

#endif

}  // namespace

std::unique_ptr<Installation> MakePlatformInstallation(const std::string& programFolder) {
#ifdef _WIN32
  return std::make_unique<WindowsInstallation>(programFolder);
#else
  static_cast<void>(programFolder);
  return std::make_unique<NothingToInstall>();
#endif
}

}  // namespace kvn
