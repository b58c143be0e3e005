// The built driver library, loaded the way the panel loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>

#include "driver/kvnapp_abi.h"

namespace {

namespace abi = kvn::abi;

TEST(SimLibraryTest, ExportsEveryFunctionAndAnswersThroughIt) {
  void* lib = dlopen(KVN_SIM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const char* name :
       {"vbapp_Open", "vbapp_Close", "vbapp_LedOn", "vbapp_LedOff", "vbapp_Read", "vbapp_Write",
        "vbapp_Test", "vbapp_Version", "vbapp_CardRangesL", "envReadTemp", "envWriteTemp",
        "envReadAna", "envReadDig", "envSetDig", "envSetEnables", "dazEvo", "envReadCfg",
        "envDiagLED", "envInitTemp", abi::kSimulatedMarker}) {
    EXPECT_NE(dlsym(lib, name), nullptr) << name;
  }
  const auto test = reinterpret_cast<abi::Fn_vbapp_Test>(dlsym(lib, "vbapp_Test"));
  const auto simulated =
      reinterpret_cast<abi::Fn_kvnsim_Simulated>(dlsym(lib, abi::kSimulatedMarker));
  const auto open = reinterpret_cast<abi::Fn_vbapp_Open>(dlsym(lib, "vbapp_Open"));
  const auto ranges = reinterpret_cast<abi::Fn_vbapp_CardRangesL>(dlsym(lib, "vbapp_CardRangesL"));
  const auto readTemp = reinterpret_cast<abi::Fn_envReadTemp>(dlsym(lib, "envReadTemp"));
  const auto writeTemp = reinterpret_cast<abi::Fn_envWriteTemp>(dlsym(lib, "envWriteTemp"));
  ASSERT_TRUE(test && simulated && open && ranges && readTemp && writeTemp);

  EXPECT_EQ(test(25), 50);
  EXPECT_EQ(simulated(), 1);
  EXPECT_EQ(open(1), 2);
  EXPECT_EQ(open(1), 0);

  // Out arguments: null ones are skipped, arrays get exactly eight entries.
  ranges(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  std::int32_t aux = -7, io = -7, mem = -7;
  std::int32_t arr[6][abi::kMaxRanges + 1];
  for (auto& a : arr) std::fill(std::begin(a), std::end(a), -7);
  ranges(&aux, &io, &mem, arr[0], arr[1], arr[2], arr[3], arr[4], arr[5]);
  EXPECT_EQ(io, 2);
  EXPECT_EQ(arr[0][1], 0x340);
  for (auto& a : arr) {
    EXPECT_NE(a[abi::kMaxRanges - 1], -7);
    EXPECT_EQ(a[abi::kMaxRanges], -7);
  }
  writeTemp(61, -20, 1);
  std::int32_t high = 0, low = 0;
  readTemp(nullptr, &high, &low, nullptr, 1);
  EXPECT_EQ(high, 61);
  EXPECT_EQ(low, 492);
  readTemp(nullptr, nullptr, nullptr, nullptr, INT32_MIN);
  dlclose(lib);
}

}  // namespace
