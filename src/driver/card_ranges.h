// The texts that the Bus Address Information frame and the bus address list
// show for a card's resource ranges.
#pragma once

#include <string>
#include <vector>

#include "driver/board_driver.h"

namespace kvn {

struct RangeTexts {
  // One entry per reported range, in order: base in hexadecimal, length in decimal.
  std::vector<std::string> ioBase, ioExtent, memBase, memExtent;
};

// A count as the library reported it, held to 0..8 so that the eight-entry
// arrays are never read past their end.
int ClampRangeCount(std::int32_t count);

RangeTexts FormatRanges(const CardRanges& ranges);

}  // namespace kvn
