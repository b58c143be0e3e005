#include "shared/delay.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace kvn {

void DelaySeconds(Clock& clock, float seconds) {
  if (std::isnan(seconds)) return;
  const double start = clock.secondsSinceMidnight();
  // Sleep in short steps rather than spin: the window stays frozen either way,
  // but the processor is not kept busy for the whole wait.
  while (!(std::fabs(clock.secondsSinceMidnight() - start) > static_cast<double>(seconds)))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace kvn
