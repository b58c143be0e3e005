// The plain C interface of the board driver library (kvnapp_DazEvo).
//
// Every argument and every result is a 32-bit signed integer; out arguments
// are pointers to one. Both the loader and our simulated board include this
// header, so a mismatch between them fails to compile.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define KVNAPP_CALL __stdcall
#else
#define KVNAPP_CALL
#endif

#if defined(_WIN32)
#define KVNAPP_EXPORT extern "C" __declspec(dllexport)
#else
#define KVNAPP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace kvn::abi {

using I32 = std::int32_t;

using Fn_vbapp_Open = I32(KVNAPP_CALL*)(I32 card);
using Fn_vbapp_Close = I32(KVNAPP_CALL*)();
using Fn_vbapp_LedOn = I32(KVNAPP_CALL*)();
using Fn_vbapp_LedOff = I32(KVNAPP_CALL*)();
using Fn_vbapp_Read = I32(KVNAPP_CALL*)(I32 offset);
using Fn_vbapp_Write = I32(KVNAPP_CALL*)(I32 offset, I32 value);
using Fn_vbapp_Test = I32(KVNAPP_CALL*)(I32 value);
using Fn_vbapp_Version = I32(KVNAPP_CALL*)();
using Fn_vbapp_CardRangesL = I32(KVNAPP_CALL*)(I32* cardAux, I32* ioCount, I32* memCount,
                                               I32* ioBase, I32* ioExtent, I32* ioAux,
                                               I32* memBase, I32* memExtent, I32* memAux);
using Fn_envReadTemp = I32(KVNAPP_CALL*)(I32* current, I32* high, I32* low, I32* fourth,
                                         I32 sensor);
using Fn_envWriteTemp = I32(KVNAPP_CALL*)(I32 high, I32 low, I32 sensor);
using Fn_envReadAna = I32(KVNAPP_CALL*)(I32 code);
using Fn_envReadDig = I32(KVNAPP_CALL*)();
using Fn_envSetDig = I32(KVNAPP_CALL*)(I32 value);
using Fn_envSetEnables = I32(KVNAPP_CALL*)(I32 value);
using Fn_dazEvo = I32(KVNAPP_CALL*)(I32 value);

// Exported only by our simulated board: non-zero means "this is not a real board".
// A maker's library does not have it, and the program treats its absence as "real".
using Fn_kvnsim_Simulated = I32(KVNAPP_CALL*)();
inline constexpr const char* kSimulatedMarker = "kvnsim_Simulated";

// Range arrays hold this many entries each.
inline constexpr int kMaxRanges = 8;

}  // namespace kvn::abi

// File name of the driver library in the folder that holds the executable.
#if defined(_WIN32)
#define KVNAPP_LIBRARY_FILE "kvnapp_DazEvo.dll"
#else
#define KVNAPP_LIBRARY_FILE "libkvnapp_DazEvo.so"
#endif
