// Start-up's installation on Windows itself (under Wine in the tests): the
// copies land in the system folders, the registration tools are started as
// they must be, and a copy that fails is told.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "install/driver_installer.h"

#include "common/windows_api.h"

namespace kvn {
namespace {

namespace stdfs = std::filesystem;

std::string Read(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const stdfs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The record a registration stand-in leaves once it has run; empty when it
// has not run within 20 seconds.
std::vector<std::string> AwaitRecord(const stdfs::path& record) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::error_code ec;
  while (!stdfs::exists(record, ec) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return Lines(Read(record));
}

std::string SystemFolder() {
  char folder[MAX_PATH];
  const UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  return std::string(folder, n);
}

// Windows' file names ignore case.
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The system drive's folders as the installation finds them on Windows, and
// a program folder holding the driver's files and the two stand-ins. What
// the installation put into the system folders is taken out again.
class WindowsInstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The 16-bit system folder is part of every Windows, not of every Wine.
    CreateDirectoryA("c:\\windows\\system", nullptr);
    stdfs::create_directories(prog_);
    Write(prog_ / "kvndrv.dll", "kvndrv new");
    Write(prog_ / "Windrvr.vxd", "windrvr new");
    stdfs::copy_file(KVN_MSSTDFMT_STAND_IN, prog_ / "msstdfmt.dll");
    stdfs::copy_file(KVN_WDREG_STAND_IN, prog_ / "wdreg.exe");
    TearDown();  // what a run that was killed left in the system folders
  }
  void TearDown() override {
    for (const char* placed :
         {kSupport, kKernelDriver, kFormat, kFormatRecord, "C:\\regsvr32.exe", "C:\\wdreg.record"}) {
      SetFileAttributesA(placed, FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(placed);
    }
  }

  static constexpr const char* kSupport = "c:\\windows\\kvndrv.dll";
  static constexpr const char* kKernelDriver = "c:\\windows\\system32\\drivers\\Windrvr.vxd";
  static constexpr const char* kFormat = "c:\\windows\\system\\msstdfmt.dll";
  static constexpr const char* kFormatRecord = "c:\\windows\\system\\msstdfmt.record";

  const stdfs::path prog_ = stdfs::current_path() / "prog";
  // As the toolkit gives the program's folder: with forward slashes.
  const std::string progAsGiven_ = prog_.generic_string();
  const std::string progNative_ = prog_.string();
};

TEST_F(WindowsInstallationTest, CopiesIntoTheSystemFoldersAndStartsTheToolsAsNamed) {
  ASSERT_NE(progAsGiven_.find('/'), std::string::npos);
  // A program named like the system's tool where a search by name would
  // find it first: the working folder and the folder the tools start in.
  for (const std::string& decoy : {(stdfs::current_path() / "regsvr32.exe").string(),
                                   std::string("C:\\regsvr32.exe")})
    ASSERT_TRUE(CopyFileA(KVN_WDREG_STAND_IN, decoy.c_str(), FALSE)) << decoy;
  const auto installation = MakePlatformInstallation(progAsGiven_);
  installation->InstallDriverFiles();
  installation->InstallFormatLibrary();
  EXPECT_EQ(installation->failures(), std::vector<std::string>{});

  EXPECT_EQ(Read(kSupport), "kvndrv new");
  // This system has the driver folder of NT (with files in it), not vmm32.
  EXPECT_EQ(Read(kKernelDriver), "windrvr new");
  EXPECT_FALSE(stdfs::exists("c:\\windows\\system\\vmm32\\Windrvr.vxd"));
  EXPECT_EQ(Read(kFormat), Read(prog_ / "msstdfmt.dll"));

  // wdreg.exe from the program folder, by a path with Windows' separators,
  // with "install" alone, in C:\.
  const auto wdreg = AwaitRecord(prog_ / "wdreg.record");
  ASSERT_EQ(wdreg.size(), 3u);
  const std::string wdregPath = progNative_ + "\\wdreg.exe";
  EXPECT_EQ(wdreg[0].find('/'), std::string::npos) << wdreg[0];
  EXPECT_NE(wdreg[0].find(wdregPath), std::string::npos) << wdreg[0];
  EXPECT_EQ(wdreg[0].substr(wdreg[0].size() - 8), " install") << wdreg[0];
  EXPECT_EQ(Lower(wdreg[1]), Lower(wdregPath));
  EXPECT_EQ(wdreg[2], "C:\\");

  // The system's regsvr32, from the system folder, registered the library
  // by the path it was copied to, in C:\.
  const auto regsvr32 = AwaitRecord(kFormatRecord);
  ASSERT_EQ(regsvr32.size(), 3u);
  EXPECT_EQ(Lower(regsvr32[1]), Lower(SystemFolder() + "\\regsvr32.exe"));
  EXPECT_NE(Lower(regsvr32[0]).find(kFormat), std::string::npos) << regsvr32[0];
  EXPECT_EQ(regsvr32[2], "C:\\");
  EXPECT_FALSE(stdfs::exists("wdreg.record"));
  EXPECT_FALSE(stdfs::exists("C:\\wdreg.record"));
}

TEST_F(WindowsInstallationTest, ACopyOntoAReadOnlyFileIsAFailure) {
  Write(kSupport, "kvndrv old");
  ASSERT_TRUE(SetFileAttributesA(kSupport, FILE_ATTRIBUTE_READONLY));

  const auto installation = MakePlatformInstallation(progAsGiven_);
  installation->InstallDriverFiles();
  installation->InstallFormatLibrary();
  EXPECT_EQ(installation->failures(),
            std::vector<std::string>{"Could not copy " + progNative_ + "\\kvndrv.dll to " + kSupport});
  EXPECT_EQ(Read(kSupport), "kvndrv old");
  // The steps after it still ran.
  EXPECT_EQ(Read(kKernelDriver), "windrvr new");
  EXPECT_EQ(AwaitRecord(kFormatRecord).size(), 3u);
}

TEST_F(WindowsInstallationTest, ACopyOntoAFileInUseIsAFailure) {
  // The support library held open by a program that uses it.
  Write(kSupport, "kvndrv old");
  HANDLE inUse = CreateFileA(kSupport, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(inUse, INVALID_HANDLE_VALUE);

  const auto installation = MakePlatformInstallation(progAsGiven_);
  installation->InstallDriverFiles();
  CloseHandle(inUse);
  EXPECT_EQ(installation->failures(),
            std::vector<std::string>{"Could not copy " + progNative_ + "\\kvndrv.dll to " + kSupport});
  EXPECT_EQ(Read(kSupport), "kvndrv old");
  AwaitRecord(prog_ / "wdreg.record");
}

}  // namespace
}  // namespace kvn
