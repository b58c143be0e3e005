#pragma once

#include "shared/platform.h"

namespace kvn {

// Blocks the calling (window) thread until more than `seconds` have passed on
// the clock. No window events are processed meanwhile. The difference is taken
// as an absolute value, so a clock that jumps back at midnight ends the wait.
void DelaySeconds(Clock& clock, float seconds);

}  // namespace kvn
