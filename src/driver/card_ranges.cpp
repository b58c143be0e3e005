#include "driver/card_ranges.h"

#include <algorithm>

#include "common/num_forms.h"

namespace kvn {

int ClampRangeCount(std::int32_t count) { return std::clamp<std::int32_t>(count, 0, CardRanges::kMax); }

RangeTexts FormatRanges(const CardRanges& r) {
  RangeTexts t;
  const int io = ClampRangeCount(r.ioCount);
  const int mem = ClampRangeCount(r.memCount);
  for (int n = 0; n < io; ++n) {
    t.ioBase.push_back(HexText(r.ioBase[static_cast<std::size_t>(n)]));
    t.ioExtent.push_back(NumText(r.ioExtent[static_cast<std::size_t>(n)]));
  }
  for (int n = 0; n < mem; ++n) {
    t.memBase.push_back(HexText(r.memBase[static_cast<std::size_t>(n)]));
    t.memExtent.push_back(NumText(r.memExtent[static_cast<std::size_t>(n)]));
  }
  return t;
}

std::string OpenStatusText(std::int32_t status) {
  switch (status) {
    case kDriverNotClosed:
      return "Driver not Closed";
    case kDriverDidNotOpen:
      return "Driver did not Open";
    case kDriverOpened:
      return "Driver Properly Opened";
    default:
      return "Driver Error:" + SignedDecimal(status);
  }
}

}  // namespace kvn
