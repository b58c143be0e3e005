// One current reading of a chart source, straight from the board.
#pragma once

#include <cstdint>

#include "driver/board_driver.h"
#include "shared/program_values.h"

namespace kvn {

// Reads source n: 0..7 analog input n, 8 the humidity sensor (analog input 3,
// like source 3), 9..11 the current temperature and the high and low set
// points in degrees. Every call first reads the temperatures into
// values.TempCurrent/TempHighSet/TempLowSet/TempFourth for sensor
// TempSensorNum; the chosen temperature is then sign-corrected in place (raw
// 256 and above means raw - 512), the other two keep their raw readings. Any
// other n gives 0.
double ReadChartValue(BoardDriver& driver, ProgramValues& values, int n);

// Reads analog input `channel` in input format `format` (see
// AnalogChannelCode). Returns the library's result unchanged.
std::int32_t ReadChartAnalog(BoardDriver& driver, int channel, std::int32_t format);

}  // namespace kvn
