// The driver library's C functions, answered by one simulated board that
// runs on the steady clock from the moment the library is loaded.
//
// Every call takes the board's lock and brings the model up to "now" first.
// Nothing may unwind into the caller: each function catches everything and
// then answers a neutral value. Null out pointers are skipped.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <type_traits>

#include "driver/kvnapp_abi.h"
#include "sim/sim_board.h"

using kvn::abi::I32;

namespace {

#if defined(KVN_SIM_STEPPED_CLOCK)
// The scripted board of the tests: its clock moves 50 ms with every reading
// instead of with time, so that the same calls give the same answers on any
// machine, and the logs of two builds can be compared byte for byte.
kvn::sim::SimTime ClockNow() {
  static std::int64_t steps = 0;
  return std::chrono::milliseconds(50 * ++steps);
}
#else
kvn::sim::SimTime ClockNow() {
  return std::chrono::duration_cast<kvn::sim::SimTime>(
      std::chrono::steady_clock::now().time_since_epoch());
}
#endif

struct Instance {
  std::mutex mutex;
  kvn::sim::SimBoard board{ClockNow};
};

Instance g_instance;

template <class F>
I32 WithBoard(I32 fallback, F&& f) {
  try {
    std::lock_guard lock(g_instance.mutex);
    return f(g_instance.board);
  } catch (...) {
    return fallback;
  }
}

void Put(I32* out, I32 value) {
  if (out != nullptr) *out = value;
}

template <std::size_t N>
void PutArray(I32* out, const std::array<I32, N>& values) {
  if (out == nullptr) return;
  for (std::size_t i = 0; i < N; ++i) out[i] = values[i];
}

}  // namespace

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_Open(I32 card) {
  return WithBoard(kvn::sim::kOpenFailed, [&](kvn::sim::SimBoard& b) { return b.open(card); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_Close() {
  return WithBoard(0, [](kvn::sim::SimBoard& b) { return b.close(); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_LedOn() {
  return WithBoard(0, [](kvn::sim::SimBoard& b) {
    b.setLed(true);
    return 0;
  });
}

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_LedOff() {
  return WithBoard(0, [](kvn::sim::SimBoard& b) {
    b.setLed(false);
    return 0;
  });
}

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_Read(I32 offset) {
  return WithBoard(-1, [&](kvn::sim::SimBoard& b) { return b.readRegister(offset); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_Write(I32 offset, I32 value) {
  return WithBoard(0, [&](kvn::sim::SimBoard& b) {
    b.writeRegister(offset, value);
    return 0;
  });
}

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_Test(I32 value) { return kvn::sim::SimBoard::test(value); }

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_Version() { return kvn::sim::SimBoard::version(); }

KVNAPP_EXPORT I32 KVNAPP_CALL vbapp_CardRangesL(I32* cardAux, I32* ioCount, I32* memCount,
                                                 I32* ioBase, I32* ioExtent, I32* ioAux,
                                                 I32* memBase, I32* memExtent, I32* memAux) {
  static_assert(kvn::sim::Ranges::kMax == kvn::abi::kMaxRanges);
  const kvn::sim::Ranges r = kvn::sim::SimBoard::cardRanges();
  Put(cardAux, r.cardAux);
  Put(ioCount, r.ioCount);
  Put(memCount, r.memCount);
  PutArray(ioBase, r.ioBase);
  PutArray(ioExtent, r.ioExtent);
  PutArray(ioAux, r.ioAux);
  PutArray(memBase, r.memBase);
  PutArray(memExtent, r.memExtent);
  PutArray(memAux, r.memAux);
  return 0;
}

KVNAPP_EXPORT I32 KVNAPP_CALL envReadTemp(I32* current, I32* high, I32* low, I32* fourth,
                                           I32 sensor) {
  kvn::sim::TempReading t;
  const I32 result = WithBoard(-1, [&](kvn::sim::SimBoard& b) { return b.readTemp(sensor, t); });
  Put(current, t.current);
  Put(high, t.high);
  Put(low, t.low);
  Put(fourth, t.flags);
  return result;
}

KVNAPP_EXPORT I32 KVNAPP_CALL envWriteTemp(I32 high, I32 low, I32 sensor) {
  return WithBoard(-1, [&](kvn::sim::SimBoard& b) { return b.writeTemp(high, low, sensor); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL envReadAna(I32 code) {
  return WithBoard(0, [&](kvn::sim::SimBoard& b) { return b.readAnalog(code); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL envReadDig() {
  return WithBoard(0, [](kvn::sim::SimBoard& b) { return b.status(); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL envSetDig(I32 value) {
  return WithBoard(0, [&](kvn::sim::SimBoard& b) { return b.setRelays(value); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL envSetEnables(I32 value) {
  return WithBoard(0, [&](kvn::sim::SimBoard& b) { return b.setEnables(value); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL dazEvo(I32 value) {
  return WithBoard(0, [&](kvn::sim::SimBoard& b) { return b.forceFan(value); });
}

// Exported like the rest but not used by the panel.
KVNAPP_EXPORT I32 KVNAPP_CALL envReadCfg() {
  return WithBoard(0, [](kvn::sim::SimBoard& b) { return b.readConfig(); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL envDiagLED(I32 on) {
  return WithBoard(0, [&](kvn::sim::SimBoard& b) { return b.diagLed(on); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL envInitTemp(I32 sensor) {
  return WithBoard(-1, [&](kvn::sim::SimBoard& b) { return b.initTemp(sensor); });
}

KVNAPP_EXPORT I32 KVNAPP_CALL kvnsim_Simulated() { return 1; }

// Each function has exactly the type the loader expects.
namespace abi = kvn::abi;
static_assert(std::is_same_v<decltype(&vbapp_Open), abi::Fn_vbapp_Open>);
static_assert(std::is_same_v<decltype(&vbapp_Close), abi::Fn_vbapp_Close>);
static_assert(std::is_same_v<decltype(&vbapp_LedOn), abi::Fn_vbapp_LedOn>);
static_assert(std::is_same_v<decltype(&vbapp_LedOff), abi::Fn_vbapp_LedOff>);
static_assert(std::is_same_v<decltype(&vbapp_Read), abi::Fn_vbapp_Read>);
static_assert(std::is_same_v<decltype(&vbapp_Write), abi::Fn_vbapp_Write>);
static_assert(std::is_same_v<decltype(&vbapp_Test), abi::Fn_vbapp_Test>);
static_assert(std::is_same_v<decltype(&vbapp_Version), abi::Fn_vbapp_Version>);
static_assert(std::is_same_v<decltype(&vbapp_CardRangesL), abi::Fn_vbapp_CardRangesL>);
static_assert(std::is_same_v<decltype(&envReadTemp), abi::Fn_envReadTemp>);
static_assert(std::is_same_v<decltype(&envWriteTemp), abi::Fn_envWriteTemp>);
static_assert(std::is_same_v<decltype(&envReadAna), abi::Fn_envReadAna>);
static_assert(std::is_same_v<decltype(&envReadDig), abi::Fn_envReadDig>);
static_assert(std::is_same_v<decltype(&envSetDig), abi::Fn_envSetDig>);
static_assert(std::is_same_v<decltype(&envSetEnables), abi::Fn_envSetEnables>);
static_assert(std::is_same_v<decltype(&dazEvo), abi::Fn_dazEvo>);
static_assert(std::is_same_v<decltype(&kvnsim_Simulated), abi::Fn_kvnsim_Simulated>);
