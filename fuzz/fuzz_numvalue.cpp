// NumValue on any bytes, and the number forms on whatever it gives.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "common/num_forms.h"
#include "fuzz_check.h"

using kvn::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double v = kvn::NumValue(text);
  Check(!std::isnan(v), "NumValue gave NaN");
  Check(!(v == 0 && std::signbit(v)), "NumValue gave negative zero");

  const std::string shown = kvn::NumText(v);
  Check(!shown.empty() && shown.find_first_of(" ,\t") == std::string::npos,
        "NumText gave an empty text or one with a blank or comma");
  Check(kvn::FileForm(v) == (v < 0 ? "" : " ") + shown + " ", "FileForm is not NumText with blanks");

  const double rounded = kvn::RoundHalfEven(v);
  const std::int32_t i32 = kvn::ToInt32(v);
  const std::int16_t i16 = kvn::ToInt16(v);
  Check(kvn::FitsInt32(v) == (static_cast<double>(i32) == rounded),
        "FitsInt32 disagrees with ToInt32");
  Check((i16 >= 0) == (i32 >= 0) || i32 == 0 || i16 == 0, "ToInt16 and ToInt32 differ in sign");
  if (std::isfinite(v)) {
    Check(std::fabs(rounded - v) <= 0.5, "RoundHalfEven moved by more than one half");
  }

  if (std::isfinite(v)) {
    const double back = kvn::NumValue(shown);
    Check(std::isfinite(back), "NumText of a finite value read back as infinity");
    {
      const double slack = std::fabs(v) * 1e-14 + std::numeric_limits<double>::denorm_min();
      Check(std::fabs(back - v) <= slack, "NumText does not read back close to the value");
      // Fifteen decimal digits survive a trip through a normal double.
      if (std::fabs(back) >= std::numeric_limits<double>::min()) {
        Check(kvn::NumText(back) == shown, "NumText is not stable through NumValue");
      }
    }
  }
  return 0;
}
