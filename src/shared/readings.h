// The board's latest readings as data: what the panel shows, the log records
// and any other consumer of a reading use this, never the text of a control.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "driver/board_codes.h"

namespace kvn {

struct Readings {
  using Time = std::chrono::system_clock::time_point;

  // The status bits of envReadDig, and what they say.
  struct Status {
    std::int32_t bits = 0;
    bool aboveHigh() const { return (bits & 2) != 0; }
    bool belowLow() const { return (bits & 1) != 0; }
    // The inputs count inverted: on while their bit is clear.
    bool input0() const { return (bits & 16) == 0; }
    bool input1() const { return (bits & 32) == 0; }
  };

  // One sensor's temperature and set points, sign-corrected half degrees.
  struct Temperature {
    std::int32_t sensor = 0;
    std::int32_t current = 0;
    std::int32_t high = 0;
    std::int32_t low = 0;
  };

  // One analog input's result, and the input format it was read in.
  struct Analog {
    std::int32_t value = 0;
    std::int32_t format = 0;
  };

  // Each is absent until it is first read; an analog input keeps its latest
  // reading while later reads leave it out of their range.
  std::optional<Status> status;
  std::optional<Temperature> temperature;
  std::array<std::optional<Analog>, kAnalogChannels> analog{};

  // When each group was last read.
  std::optional<Time> statusRead;
  std::optional<Time> temperatureRead;
  std::optional<Time> analogRead;
};

// The groups one notification brings anew.
struct ReadGroups {
  bool status = false;
  bool temperature = false;
  // Bit n set: analog input n was read.
  std::uint16_t analog = 0;
  bool hasAnalog(int channel) const { return ((analog >> channel) & 1U) != 0; }
};

}  // namespace kvn
