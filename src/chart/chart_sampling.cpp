#include "chart/chart_sampling.h"

#include <cstddef>

#include "driver/board_codes.h"

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
  *temperature = SignCorrect(*temperature);
  return *temperature / 2.0;
}

std::int32_t ReadChartAnalog(BoardDriver& driver, int channel, std::int32_t format) {
  return driver.envReadAna(AnalogChannelCode(format, channel));
}

}  // namespace kvn
