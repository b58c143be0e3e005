#include "install/driver_installer.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/scripted_dialogs.h"

namespace {

namespace stdfs = std::filesystem;

struct Launch {
  std::string file;
  std::string parameters;
  std::string workingDirectory;
  bool operator==(const Launch&) const = default;
};

void PrintTo(const Launch& l, std::ostream* os) {
  *os << "{" << l.file << " | " << l.parameters << " | " << l.workingDirectory << "}";
}

class RecordingLauncher final : public kvn::ProgramLauncher {
 public:
  void shellOpen(const std::string& file, const std::string& parameters,
                 const std::string& workingDirectory) override {
    launches.push_back({file, parameters, workingDirectory});
  }
  std::vector<Launch> launches;
};

void writeFile(const stdfs::path& p, const std::string& text) {
  stdfs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::string readFile(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Switches the working directory for one test.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const stdfs::path& p) : saved_(stdfs::current_path()) {
    stdfs::current_path(p);
  }
  ~WorkingDirectory() { stdfs::current_path(saved_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  stdfs::path saved_;
};

// A temporary folder standing for the system drive (sys/, given with a
// trailing '/') and a program folder (prog/) holding the files to copy.
class InstallOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = stdfs::temp_directory_path() /
            ("kvn_install_" + std::to_string(std::random_device{}()));
    stdfs::remove_all(base_);
    stdfs::create_directories(base_ / "sys" / "windows" / "system");
    writeFile(prog() / "kvndrv.dll", "kvndrv new");
    writeFile(prog() / "Windrvr.vxd", "windrvr new");
    writeFile(prog() / "msstdfmt.dll", "msstdfmt new");
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(base_, ec);
  }

  stdfs::path sys() const { return base_ / "sys"; }
  stdfs::path prog() const { return base_ / "prog"; }
  std::string root() const { return sys().string() + "/"; }
  // A folder test only succeeds for a folder holding a file.
  void folderWithFile(const stdfs::path& folder) { writeFile(folder / "other.sys", "x"); }

  void installBoth() {
    kvn::DriverInstaller installer(files_, launcher_, prog().string(), root(), '/');
    installer.InstallDriverFiles();
    installer.InstallFormatLibrary();
    failures_ = installer.failures();
  }

  stdfs::path base_;
  kvn::SystemInstallFileSystem files_;
  RecordingLauncher launcher_;
  std::vector<std::string> failures_;
};

struct FolderCase {
  const char* name;
  enum Vmm32 { Absent, Empty, OnlySubfolder, WithFile } vmm32;
  bool driversWithFile;
  bool toVmm32;
  bool toDrivers;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class KernelDriverFolders : public InstallOnDisk,
                            public ::testing::WithParamInterface<FolderCase> {};

TEST_P(KernelDriverFolders, CopiedOnlyToFoldersHoldingFiles) {
  const FolderCase& c = GetParam();
  const stdfs::path vmm32 = sys() / "windows" / "system" / "vmm32";
  const stdfs::path drivers = sys() / "windows" / "system32" / "drivers";
  if (c.vmm32 == FolderCase::Empty) stdfs::create_directories(vmm32);
  if (c.vmm32 == FolderCase::OnlySubfolder) stdfs::create_directories(vmm32 / "sub");
  if (c.vmm32 == FolderCase::WithFile) folderWithFile(vmm32);
  if (c.driversWithFile) folderWithFile(drivers);

  installBoth();

  EXPECT_EQ(stdfs::exists(vmm32 / "Windrvr.vxd"), c.toVmm32);
  EXPECT_EQ(stdfs::exists(drivers / "Windrvr.vxd"), c.toDrivers);
  if (c.toDrivers) {
    EXPECT_EQ(readFile(drivers / "Windrvr.vxd"), "windrvr new");
  }
  EXPECT_TRUE(failures_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Install, KernelDriverFolders,
    ::testing::Values(FolderCase{"OnlyDrivers", FolderCase::Absent, true, false, true},
                      FolderCase{"Both", FolderCase::WithFile, true, true, true},
                      FolderCase{"Neither", FolderCase::Absent, false, false, false},
                      FolderCase{"EmptyVmm32", FolderCase::Empty, true, false, true},
                      FolderCase{"Vmm32OnlySubfolder", FolderCase::OnlySubfolder, false, false,
                                 false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(InstallOnDisk, SupportLibraryAlwaysReplaced) {
  writeFile(sys() / "windows" / "kvndrv.dll", "kvndrv old");
  installBoth();
  EXPECT_EQ(readFile(sys() / "windows" / "kvndrv.dll"), "kvndrv new");
}

TEST_F(InstallOnDisk, FormatLibraryCopiedOnlyWhenMissingAndAlwaysRegistered) {
  const stdfs::path library = sys() / "windows" / "system" / "msstdfmt.dll";
  const Launch regsvr{"regsvr32.exe", root() + "windows/system/msstdfmt.dll", root()};

  installBoth();
  EXPECT_EQ(readFile(library), "msstdfmt new");
  ASSERT_EQ(launcher_.launches.size(), 2u);
  EXPECT_EQ(launcher_.launches[1], regsvr);

  writeFile(library, "msstdfmt old");
  launcher_.launches.clear();
  installBoth();
  EXPECT_EQ(readFile(library), "msstdfmt old");
  ASSERT_EQ(launcher_.launches.size(), 2u);
  EXPECT_EQ(launcher_.launches[1], regsvr);
}

TEST_F(InstallOnDisk, CopiesComeFromProgramFolderNotWorkingDirectory) {
  const stdfs::path elsewhere = base_ / "elsewhere";
  for (const char* name : {"kvndrv.dll", "Windrvr.vxd", "msstdfmt.dll"})
    writeFile(elsewhere / name, "decoy");
  folderWithFile(sys() / "windows" / "system32" / "drivers");

  {
    WorkingDirectory cwd(elsewhere);
    installBoth();
  }

  EXPECT_EQ(readFile(sys() / "windows" / "kvndrv.dll"), "kvndrv new");
  EXPECT_EQ(readFile(sys() / "windows" / "system32" / "drivers" / "Windrvr.vxd"), "windrvr new");
  EXPECT_EQ(readFile(sys() / "windows" / "system" / "msstdfmt.dll"), "msstdfmt new");
  EXPECT_TRUE(failures_.empty());
}

TEST_F(InstallOnDisk, FailedCopiesAreReportedAndLaterStepsStillRun) {
  // Missing sources and a target taken by a folder.
  stdfs::remove(prog() / "kvndrv.dll");
  stdfs::remove(prog() / "msstdfmt.dll");
  folderWithFile(sys() / "windows" / "system32" / "drivers");
  stdfs::create_directories(sys() / "windows" / "system" / "vmm32" / "Windrvr.vxd");
  folderWithFile(sys() / "windows" / "system" / "vmm32");

  ASSERT_NO_THROW(installBoth());

  const std::string p = prog().string();
  const std::string w = root() + "windows/";
  EXPECT_EQ(failures_, (std::vector<std::string>{
                           "Could not copy " + p + "/kvndrv.dll to " + w + "kvndrv.dll",
                           "Could not copy " + p + "/Windrvr.vxd to " + w +
                               "system/vmm32/Windrvr.vxd",
                           "Could not copy " + p + "/msstdfmt.dll to " + w +
                               "system/msstdfmt.dll"}));
  EXPECT_EQ(readFile(sys() / "windows" / "system32" / "drivers" / "Windrvr.vxd"), "windrvr new");
  EXPECT_EQ(launcher_.launches.size(), 2u);
}

// Records file operations and tool starts in one sequence, answering every
// folder test with yes and every file test with no.
class ScriptedSystem final : public kvn::InstallFileSystem, public kvn::ProgramLauncher {
 public:
  bool folderHasFiles(const std::string& folder) override {
    log.push_back("folder " + folder);
    return true;
  }
  bool fileExists(const std::string& path) override {
    log.push_back("exists " + path);
    return false;
  }
  bool copyFile(const std::string& from, const std::string& to) override {
    log.push_back("copy " + from + " > " + to);
    return copySucceeds;
  }
  void shellOpen(const std::string& file, const std::string& parameters,
                 const std::string& workingDirectory) override {
    log.push_back("open " + file + " [" + parameters + "] in " + workingDirectory);
  }
  std::vector<std::string> log;
  bool copySucceeds = true;
};

TEST(DriverInstallerSteps, UseTheWindowsFoldersInOrder) {
  ScriptedSystem sys;
  kvn::DriverInstaller installer(sys, sys, "D:\\Panel", "c:\\", '\\', "C:\\");
  installer.InstallDriverFiles();
  installer.InstallFormatLibrary();

  EXPECT_EQ(sys.log, (std::vector<std::string>{
                         R"(copy D:\Panel\kvndrv.dll > c:\windows\kvndrv.dll)",
                         R"(folder c:\windows\system\vmm32\)",
                         R"(copy D:\Panel\Windrvr.vxd > c:\windows\system\vmm32\Windrvr.vxd)",
                         R"(folder c:\windows\system32\drivers\)",
                         R"(copy D:\Panel\Windrvr.vxd > c:\windows\system32\drivers\Windrvr.vxd)",
                         R"(open D:\Panel\wdreg.exe [install] in C:\)",
                         R"(exists c:\windows\system\msstdfmt.dll)",
                         R"(copy D:\Panel\msstdfmt.dll > c:\windows\system\msstdfmt.dll)",
                         R"(open regsvr32.exe [c:\windows\system\msstdfmt.dll] in C:\)",
                     }));
  EXPECT_TRUE(installer.failures().empty());
}

TEST(DriverInstallerSteps, EveryFailedCopyIsListedAndNothingIsSkipped) {
  ScriptedSystem sys;
  sys.copySucceeds = false;
  kvn::DriverInstaller installer(sys, sys, "D:\\Panel", "c:\\", '\\');
  installer.InstallDriverFiles();
  installer.InstallFormatLibrary();

  EXPECT_EQ(sys.log.size(), 9u);
  ASSERT_EQ(installer.failures().size(), 4u);
  EXPECT_EQ(installer.failures()[0], R"(Could not copy D:\Panel\kvndrv.dll to c:\windows\kvndrv.dll)");
  // Without a working directory of its own the tools start in the root.
  EXPECT_EQ(sys.log.back(), R"(open regsvr32.exe [c:\windows\system\msstdfmt.dll] in c:\)");
}

class FileSystemOnDisk : public InstallOnDisk {};

TEST_F(FileSystemOnDisk, FailuresAreFalseNotExceptions) {
  const stdfs::path folder = sys() / "windows";
  EXPECT_FALSE(files_.fileExists(folder.string()));
  EXPECT_FALSE(files_.folderHasFiles((sys() / "absent").string()));
  EXPECT_FALSE(files_.copyFile((prog() / "absent.dll").string(), (folder / "a.dll").string()));
  EXPECT_FALSE(
      files_.copyFile((prog() / "kvndrv.dll").string(), (sys() / "absent" / "k.dll").string()));
  EXPECT_FALSE(stdfs::exists(folder / "a.dll"));
}

TEST_F(FileSystemOnDisk, CopyOntoItselfKeepsTheFile) {
  const std::string same = (prog() / "kvndrv.dll").string();
  EXPECT_TRUE(files_.copyFile(same, same));
  EXPECT_EQ(readFile(same), "kvndrv new");
}

#ifndef _WIN32
TEST_F(InstallOnDisk, PlatformInstallationTouchesNothingOffWindows) {
  const stdfs::path cwdFolder = base_ / "cwd";
  stdfs::create_directories(cwdFolder);
  auto installation = kvn::MakePlatformInstallation(prog().string());
  ASSERT_TRUE(installation);
  {
    WorkingDirectory cwd(cwdFolder);
    installation->InstallDriverFiles();
    installation->InstallFormatLibrary();
  }
  EXPECT_TRUE(stdfs::is_empty(cwdFolder));
  EXPECT_EQ(std::distance(stdfs::directory_iterator(prog()), stdfs::directory_iterator()), 3);
  EXPECT_TRUE(installation->failures().empty());
}
#endif

// Start-up's report of the copies that failed: a box for a panel started by
// hand, standard error for a start with command-line text, which nobody may
// be watching (a logger's), so that no box holds it up.
TEST(InstallAtStartUp, FailuresAreToldInABoxOnlyToAPanelStartedByHand) {
  class Failing final : public kvn::Installation {
   public:
    void InstallDriverFiles() override { steps += "files "; }
    void InstallFormatLibrary() override { steps += "format "; }
    std::vector<std::string> failures() const override { return failed; }
    std::string steps;
    std::vector<std::string> failed;
  } installation;
  kvn::test::ScriptedDialogs dialogs;
  std::FILE* unattended = std::tmpfile();
  ASSERT_NE(unattended, nullptr);
  auto told = [unattended] {
    std::string text(4096, '\0');
    std::rewind(unattended);
    text.resize(std::fread(text.data(), 1, text.size(), unattended));
    return text;
  };

  kvn::InstallAtStartUp(installation, true, dialogs, unattended);
  kvn::InstallAtStartUp(installation, false, dialogs, unattended);
  EXPECT_EQ(installation.steps, "files format files format ");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(told(), "");

  installation.failed = {"Could not copy a to b", "Could not copy c to d"};
  kvn::InstallAtStartUp(installation, false, dialogs, unattended);
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(told(),
            "kvnvb_DazEvo: The driver support files could not all be put in place:\n"
            "kvnvb_DazEvo: Could not copy a to b\nkvnvb_DazEvo: Could not copy c to d\n");

  kvn::InstallAtStartUp(installation, true, dialogs, unattended);
  EXPECT_EQ(dialogs.texts(), std::vector<std::string>{
                                 "The driver support files could not all be put in place:\r\n"
                                 "Could not copy a to b\r\nCould not copy c to d"});
  std::fclose(unattended);
}

}  // namespace
