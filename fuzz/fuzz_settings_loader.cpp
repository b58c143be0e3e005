// The chart settings loader on any bytes: it must end, leave only finite
// ranges, touch neither record 12 nor the InUse flags, and whatever it loads
// cleanly must save and load again to the same file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chart/channel_table.h"
#include "fuzz_check.h"

namespace {

using kvn::fuzz::Check;

// A text that the file form gives back as written.
bool WritesBack(const std::string& text) {
  if (text.find_first_of(",\"\r\n") != std::string::npos) return false;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return text.empty() || (!blank(text.front()) && !blank(text.back()));
}

// Numbers near the end of the double range do not survive 15 digits.
bool WritesBack(double value) { return std::abs(value) < 1e300; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string fileName = "/fuzz/Settings.txt";

  kvn::ChanTable table;
  for (auto& record : table) record.InUse = -1;
  table[12].Title = "record 12";
  const std::string message = kvn::ParseChannelSettings(table, text, fileName);
  Check(message.empty() || message.find(fileName) != std::string::npos,
        "a message that does not name the file");

  bool clean = true;
  for (int n = 0; n < kvn::kChartSources; ++n) {
    const kvn::ChanSetting& r = table[static_cast<std::size_t>(n)];
    Check(std::isfinite(r.YMin) && std::isfinite(r.YMax), "a range that is not finite");
    Check(r.InUse == -1, "InUse changed by loading");
    clean = clean && WritesBack(r.Title) && WritesBack(r.Abbrev) && WritesBack(r.YText) &&
            WritesBack(r.YUnits) && WritesBack(r.YMin) && WritesBack(r.YMax);
  }
  Check(table[12].Title == "record 12" && table[12].InUse == -1, "record 12 changed by loading");

  const std::string saved = kvn::SettingsFileContent(table);
  if (!clean || saved.size() > kvn::kMaxSettingsBytes) return 0;
  kvn::ChanTable again;
  Check(kvn::ParseChannelSettings(again, saved, fileName).empty(), "a saved file does not load");
  Check(kvn::SettingsFileContent(again) == saved, "saving and loading changed the settings");
  return 0;
}
