#include "install/driver_installer.h"

#include <utility>

#include "common/text_file.h"
#include "shared/platform.h"

namespace kvn {

DriverInstaller::DriverInstaller(InstallFileSystem& fs, ProgramLauncher& launcher,
                                 std::string programFolder, std::string systemRoot,
                                 char separator)
    : DriverInstaller(fs, launcher, std::move(programFolder), systemRoot, separator, systemRoot) {}

DriverInstaller::DriverInstaller(InstallFileSystem& fs, ProgramLauncher& launcher,
                                 std::string programFolder, std::string systemRoot, char separator,
                                 std::string workingDirectory, std::string regsvr32)
    : fs_(fs),
      launcher_(launcher),
      programFolder_(std::move(programFolder)),
      systemRoot_(std::move(systemRoot)),
      sep_(separator),
      workingDirectory_(std::move(workingDirectory)),
      regsvr32_(std::move(regsvr32)) {}

void DriverInstaller::InstallDriverFiles() {
  const std::string windows = systemRoot_ + "windows" + sep_;

  // The support library is replaced on every start so that it matches this
  // program's copy.
  copy(inProgramFolder("kvndrv.dll"), windows + "kvndrv.dll");

  // The kernel driver goes to whichever driver folders this system uses;
  // a machine can have both.
  const std::string vmm32 = windows + "system" + sep_ + "vmm32" + sep_;
  if (fs_.folderHasFiles(vmm32)) copy(inProgramFolder("Windrvr.vxd"), vmm32 + "Windrvr.vxd");
  const std::string drivers = windows + "system32" + sep_ + "drivers" + sep_;
  if (fs_.folderHasFiles(drivers)) copy(inProgramFolder("Windrvr.vxd"), drivers + "Windrvr.vxd");

  launcher_.shellOpen(inProgramFolder("wdreg.exe"), "install", workingDirectory_);
}

void DriverInstaller::InstallFormatLibrary() {
  // Windows file names ignore case, so the library may be found under any
  // spelling of its extension; test and copy the one lower-case path so that
  // both agree on a file system that does not ignore case.
  const std::string library = systemRoot_ + "windows" + sep_ + "system" + sep_ + "msstdfmt.dll";
  if (!fs_.fileExists(library)) copy(inProgramFolder("msstdfmt.dll"), library);

  // Registered on every start, whether or not it was copied just now.
  launcher_.shellOpen(regsvr32_, library, workingDirectory_);
}

std::vector<std::string> DriverInstaller::failures() const { return failures_; }

std::string DriverInstaller::inProgramFolder(const char* name) const {
  return JoinPath(programFolder_, name, sep_);
}

void DriverInstaller::copy(const std::string& from, const std::string& to) {
  if (!fs_.copyFile(from, to)) failures_.push_back("Could not copy " + from + " to " + to);
}

void InstallAtStartUp(Installation& installation, bool attended, Dialogs& dialogs,
                      std::FILE* unattended) {
  installation.InstallDriverFiles();
  installation.InstallFormatLibrary();
  const auto failures = installation.failures();
  if (failures.empty()) return;
  std::string text = "The driver support files could not all be put in place:";
  if (attended) {
    for (const auto& f : failures) text += "\r\n" + f;
    dialogs.messageBox(text);
    return;
  }
  if (unattended == nullptr) return;
  std::fprintf(unattended, "kvnvb_DazEvo: %s\n", text.c_str());
  for (const auto& f : failures) std::fprintf(unattended, "kvnvb_DazEvo: %s\n", f.c_str());
  std::fflush(unattended);
}

}  // namespace kvn
