// What a fuzz target does when a property fails: says which, and aborts so
// that the fuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace kvn::fuzz {

inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::abort();
  }
}

}  // namespace kvn::fuzz
