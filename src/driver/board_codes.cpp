#include "driver/board_codes.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/num_forms.h"

namespace kvn {

std::int32_t SignCorrect(std::int32_t raw) { return raw > 255 ? raw - 512 : raw; }

std::string HalfDegreesText(std::int32_t halfDegrees) {
  return NumText(static_cast<double>(halfDegrees) / 2.0);
}

std::int32_t AnalogChannelCode(std::int32_t format, std::int32_t channel) {
  const std::int64_t base = 128 + 32 * std::int64_t{format >= 0 && format < kAnalogFormats ? format : 0};
  const std::int64_t code = std::clamp<std::int64_t>(base + channel,
                                                     std::numeric_limits<std::int16_t>::min(),
                                                     std::numeric_limits<std::int16_t>::max());
  return static_cast<std::int32_t>(code);
}

}  // namespace kvn
