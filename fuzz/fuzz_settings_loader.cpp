// The chart settings loader on any bytes: it must end, leave only finite
// ranges, touch neither record 12 nor the InUse flags, and whatever it loads
// must save, and load again to the same table: texts in quotes and numbers
// at the ends of the double range included.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chart/channel_table.h"
#include "fuzz_check.h"

using kvn::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string fileName = "/fuzz/Settings.txt";

  kvn::ChanTable table;
  for (auto& record : table) record.InUse = -1;
  table[12].Title = "record 12";
  const std::string message = kvn::ParseChannelSettings(table, text, fileName).value_or("");
  Check(message.empty() || message.find(fileName) != std::string::npos,
        "a message that does not name the file");

  for (int n = 0; n < kvn::kChartSources; ++n) {
    const kvn::ChanSetting& r = table[static_cast<std::size_t>(n)];
    Check(std::isfinite(r.YMin) && std::isfinite(r.YMax), "a range that is not finite");
    Check(r.InUse == -1, "InUse changed by loading");
  }
  Check(table[12].Title == "record 12" && table[12].InUse == -1, "record 12 changed by loading");

  const std::string saved = kvn::SettingsFileContent(table);
  // The quotes a saved file may add can take it past what is read.
  if (saved.size() > kvn::kMaxSettingsBytes) return 0;
  kvn::ChanTable again;
  Check(!kvn::ParseChannelSettings(again, saved, fileName), "a saved file does not load");
  for (int n = 0; n < kvn::kChartSources; ++n) {
    const kvn::ChanSetting& a = table[static_cast<std::size_t>(n)];
    const kvn::ChanSetting& b = again[static_cast<std::size_t>(n)];
    Check(a.Title == b.Title && a.Abbrev == b.Abbrev && a.YText == b.YText &&
              a.YUnits == b.YUnits && a.Color == b.Color,
          "a saved text or colour loads as another");
  }
  Check(kvn::SettingsFileContent(again) == saved, "saving and loading changed the settings");
  return 0;
}
