#include "driver/library_driver.h"

#include "driver/kvnapp_abi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

#if !defined(_WIN32)
TEST(LibraryDriver, CutOrForeignFilesAreRefusedNeverLoaded) {
  // A half-copied library would take the process down inside the system's
  // loader; it is refused and reported like a missing one.
  namespace fs = std::filesystem;
  const auto whole = fs::file_size(KVN_SIM_LIBRARY);
  struct Case {
    std::string name;
    std::uintmax_t keep;  // bytes of the simulated library kept
    const char* reason;
  };
  const Case cases[] = {
      {"half.so", whole / 2, "cut short"},
      {"almost.so", whole - 1, "cut short"},
      {"headers.so", 100, "cut short"},
      {"magic.so", 4, "not a library for this machine"},
  };
  for (const Case& c : cases) {
    fs::copy_file(KVN_SIM_LIBRARY, c.name);
    fs::resize_file(c.name, c.keep);
    LibraryDriver driver("./" + c.name);
    const std::string problem = driver.load().value_or("");
    EXPECT_NE(problem.find(c.name), std::string::npos) << problem;
    EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
    EXPECT_EQ(driver.vbapp_Open(0), kDriverDidNotOpen);
  }
  std::ofstream("text.so") << "#!/bin/sh\necho not a library\n";
  LibraryDriver text("./text.so");
  EXPECT_NE(text.load().value_or("").find("not a library for this machine"), std::string::npos);
}
#endif

TEST(LibraryDriver, PathInJoinsTheFolder) {
  EXPECT_EQ(LibraryDriver::PathIn(""), KVNAPP_LIBRARY_FILE);
#if !defined(_WIN32)
  EXPECT_EQ(LibraryDriver::PathIn("/opt/panel"), "/opt/panel/" KVNAPP_LIBRARY_FILE);
  EXPECT_EQ(LibraryDriver::PathIn("/"), "/" KVNAPP_LIBRARY_FILE);
#endif
}

}  // namespace
}  // namespace kvn
