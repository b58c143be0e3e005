// The board's own encodings, shared by the panel and the chart: temperatures
// in 9-bit two's complement half degrees, and the code that selects an analog
// input and its format.
#pragma once

#include <cstdint>
#include <string>

namespace kvn {

// The board's analog inputs 0..8, and their input formats 0..3.
inline constexpr int kAnalogChannels = 9;
inline constexpr int kAnalogFormats = 4;

// A temperature as the driver gives it, in half degrees: raw values above 255
// stand for raw - 512; smaller values stand as they are.
std::int32_t SignCorrect(std::int32_t raw);

// Half degrees shown in degrees, in the panel's number form (NumText):
// 51 -> "25.5", -1 -> "-.5".
std::string HalfDegreesText(std::int32_t halfDegrees);

// The code passed to envReadAna: 128 + 32 * format + channel. A format
// outside 0..3 counts as format 0; a sum beyond the 16 bits of the code is
// held at its ends rather than wrapping.
std::int32_t AnalogChannelCode(std::int32_t format, std::int32_t channel);

}  // namespace kvn
