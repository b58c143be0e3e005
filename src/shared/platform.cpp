#include "shared/platform.h"

#include <ctime>

namespace kvn {

std::chrono::system_clock::time_point Clock::wallTime() {
#if defined(CLOCK_REALTIME_COARSE)
  timespec ts{};
  if (clock_gettime(CLOCK_REALTIME_COARSE, &ts) == 0) {
    const auto since = std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
  }
#endif
  return std::chrono::system_clock::now();
}

}  // namespace kvn
