#include "chart/chart_sampling.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace kvn {

double ReadChartValue(BoardDriver& driver, ProgramValues& values, int n) {
  driver.envReadTemp(values.TempCurrent, values.TempHighSet, values.TempLowSet, values.TempFourth,
                     values.TempSensorNum);
  if (n >= 0 && n <= 7) {
    return ReadChartAnalog(driver, n, values.anaFormat[static_cast<std::size_t>(n)]);
  }
  if (n == 8) return ReadChartAnalog(driver, 3, values.anaFormat[3]);
  std::int32_t* temperature = n == 9    ? &values.TempCurrent
                              : n == 10 ? &values.TempHighSet
                              : n == 11 ? &values.TempLowSet
                                        : nullptr;
  if (temperature == nullptr) return 0;
  // 9-bit two's complement half degrees; raw - 512 cannot overflow here.
  if (*temperature >= 256) *temperature -= 512;
  return *temperature / 2.0;
}

std::int32_t ReadChartAnalog(BoardDriver& driver, int channel, std::int32_t format) {
  std::int32_t base = 128;
  if (format == 1) base = 160;
  if (format == 2) base = 192;
  if (format == 3) base = 224;
  // The code is a 16-bit value; for the channels in use (0..8) the sum is far
  // inside that range, and any other channel is held at its ends rather than
  // wrapping.
  const std::int64_t code = std::clamp<std::int64_t>(
      std::int64_t{base} + channel, std::numeric_limits<std::int16_t>::min(),
      std::numeric_limits<std::int16_t>::max());
  return driver.envReadAna(static_cast<std::int32_t>(code));
}

}  // namespace kvn
