// The texts of the board connection: what the Bus Address Information frame
// and the bus address list show for a card's resource ranges, and how the
// result of an open is told.
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

// "Driver not Closed", "Driver did not Open", "Driver Properly Opened", or
// "Driver Error:" and the code in signed decimal form.
std::string OpenStatusText(std::int32_t status);

}  // namespace kvn
