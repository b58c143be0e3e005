#include "driver/library_driver.h"

#include "driver/kvnapp_abi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kvn {
namespace {

TEST(LibraryDriver, SimulatedBoardLoadsAndAnswers) {
  LibraryDriver driver(KVN_SIM_LIBRARY);
  ASSERT_EQ(driver.load(), std::nullopt);
  EXPECT_TRUE(driver.isSimulated());
  EXPECT_EQ(driver.vbapp_Test(25), 50);
  EXPECT_EQ(driver.vbapp_Open(0), kDriverOpened);

  CardRanges r;
  r.ioBase.fill(-7);
  driver.vbapp_CardRangesL(r);
  EXPECT_EQ(r.ioCount, 2);
  EXPECT_EQ(r.ioBase[0], 0x300);
  EXPECT_EQ(r.ioBase[1], 0x340);
  EXPECT_EQ(r.ioExtent[0], 16);

  std::int32_t cur = -1, high = -1, low = -1, fourth = -1;
  driver.envReadTemp(cur, high, low, fourth, 0);
  EXPECT_GE(cur, 0);
  EXPECT_LE(cur, 511);
  EXPECT_EQ(driver.vbapp_Close(), 0);
}

TEST(LibraryDriver, MissingLibraryIsReportedAndNeverCalled) {
  const std::string path = "/nonexistent/folder/" KVNAPP_LIBRARY_FILE;
  LibraryDriver driver(path);
  const std::string problem = driver.load().value_or("");
  EXPECT_FALSE(driver.loaded());
  EXPECT_NE(problem.find(path), std::string::npos) << problem;
  EXPECT_FALSE(driver.isSimulated());

  // Every operation is harmless; the open reports "did not open".
  EXPECT_EQ(driver.vbapp_Open(0), kDriverDidNotOpen);
  EXPECT_EQ(driver.vbapp_Close(), 0);
  EXPECT_EQ(driver.vbapp_Test(25), 0);
  CardRanges r;
  driver.vbapp_CardRangesL(r);
  EXPECT_EQ(r.ioCount, 0);
  std::int32_t a = 5, b = 5, c = 5, d = 5;
  driver.envReadTemp(a, b, c, d, 0);
  EXPECT_EQ(a, 5);
}

TEST(LibraryDriver, LibraryWithoutEveryFunctionIsRefusedByName) {
  LibraryDriver driver(KVN_PARTIAL_LIBRARY);
  const std::string p = driver.load().value_or("");
  EXPECT_NE(p.find(KVN_PARTIAL_LIBRARY), std::string::npos) << p;
  EXPECT_NE(p.find("vbapp_LedOn"), std::string::npos) << p;
  EXPECT_NE(p.find("dazEvo"), std::string::npos) << p;
  EXPECT_EQ(p.find("vbapp_Open,"), std::string::npos) << "vbapp_Open is present: " << p;
  // The library's own vbapp_Open (which would say 2) is not used.
  EXPECT_EQ(driver.vbapp_Open(0), kDriverDidNotOpen);
}

#if defined(_WIN32)
constexpr const char* kLibraryExtension = ".dll";
#else
constexpr const char* kLibraryExtension = ".so";
#endif

// A copy of the simulated library, cut to `keep` bytes, with `patch` applied
// to its bytes.
void CopyLibrary(const std::string& name, std::uintmax_t keep,
                 const std::function<void(std::string&)>& patch = {}) {
  std::ifstream in(KVN_SIM_LIBRARY, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes.resize(static_cast<std::size_t>(keep));
  if (patch) patch(bytes);
  std::ofstream(name, std::ios::binary) << bytes;
}

TEST(LibraryDriver, CutOrForeignFilesAreRefusedNeverLoaded) {
  // A half-copied library would take the process down inside the system's
  // loader; it is refused and reported like a missing one.
  namespace fs = std::filesystem;
  const auto whole = fs::file_size(KVN_SIM_LIBRARY);
  struct Case {
    std::string name;
    std::uintmax_t keep;  // bytes of the simulated library kept
    const char* reason;
    std::function<void(std::string&)> patch;
  };
  std::vector<Case> cases = {
      {"half", whole / 2, "cut short", {}},
      {"almost", whole - 1, "cut short", {}},
      {"headers", 100, "cut short", {}},
      {"magic", 4, "not a library for this machine", {}},
  };
#if defined(_WIN32)
  // The PE header's machine and its "this is a DLL" mark, at e_lfanew.
  auto peAt = [](const std::string& b) {
    return static_cast<std::size_t>(static_cast<unsigned char>(b[0x3c])) |
           static_cast<std::size_t>(static_cast<unsigned char>(b[0x3d])) << 8;
  };
  cases.push_back({"x86", whole, "not a library for this machine", [peAt](std::string& b) {
                     b[peAt(b) + 4] = '\x4c';  // IMAGE_FILE_MACHINE_I386
                     b[peAt(b) + 5] = '\x01';
                   }});
  cases.push_back({"program", whole, "not a library for this machine", [peAt](std::string& b) {
                     b[peAt(b) + 4 + 18 + 1] &= ~0x20;  // IMAGE_FILE_DLL cleared
                   }});
#endif
  for (const Case& c : cases) {
    const std::string name = c.name + kLibraryExtension;
    CopyLibrary(name, c.keep, c.patch);
    LibraryDriver driver("./" + name);
    const std::string problem = driver.load().value_or("");
    EXPECT_NE(problem.find(name), std::string::npos) << problem;
    EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
    EXPECT_EQ(driver.vbapp_Open(0), kDriverDidNotOpen);
  }
  const std::string text = std::string("text") + kLibraryExtension;
  std::ofstream(text) << "#!/bin/sh\necho not a library\n";
  LibraryDriver script("./" + text);
  EXPECT_NE(script.load().value_or("").find("not a library for this machine"), std::string::npos);

  // The whole copy loads.
  CopyLibrary(std::string("whole") + kLibraryExtension, whole);
  LibraryDriver copy(std::string("./whole") + kLibraryExtension);
  EXPECT_EQ(copy.load(), std::nullopt);
}

TEST(LibraryDriver, PathInJoinsTheFolder) {
  EXPECT_EQ(LibraryDriver::PathIn(""), KVNAPP_LIBRARY_FILE);
#if defined(_WIN32)
  // As the toolkit gives the program's folder, with Windows' own separators.
  EXPECT_EQ(LibraryDriver::PathIn("C:/Program Files/panel"),
            "C:\\Program Files\\panel\\" KVNAPP_LIBRARY_FILE);
  EXPECT_EQ(LibraryDriver::PathIn("C:\\"), "C:\\" KVNAPP_LIBRARY_FILE);
#else
  EXPECT_EQ(LibraryDriver::PathIn("/opt/panel"), "/opt/panel/" KVNAPP_LIBRARY_FILE);
  EXPECT_EQ(LibraryDriver::PathIn("/"), "/" KVNAPP_LIBRARY_FILE);
#endif
}

}  // namespace
}  // namespace kvn
