#include "chart_settings/channel_editor.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "common/num_forms.h"

namespace kvn {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Where the run of digits starting at i ends.
std::size_t DigitsFrom(std::string_view text, std::size_t i) {
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i;
}

}  // namespace

std::optional<double> PlainDecimal(std::string_view text) {
  text = Trimmed(text);
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t mantissa = i;
  i = DigitsFrom(text, i);
  std::size_t digits = i - mantissa;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction = i + 1;
    i = DigitsFrom(text, fraction);
    digits += i - fraction;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t e = i + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    const std::size_t end = DigitsFrom(text, e);
    if (end == e) return std::nullopt;
    i = end;
  }
  if (i != text.size()) return std::nullopt;

  // from_chars reads the same grammar, locale-free, except a leading '+'.
  std::string_view number = text;
  if (number.front() == '+') number.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(value))
    return std::nullopt;
  return value == 0 ? 0.0 : value;  // no negative zero
}

ChannelEditor::ChannelEditor(ChanTable& table, int channel)
    : table_(table),
      channel_(channel >= 0 && channel < static_cast<int>(table.size()) ? channel : 0),
      saved_(record()) {}

ChannelEntry ChannelEditor::loadedEntry() const {
  return {NumTextWithZero(saved_.YMin), NumTextWithZero(saved_.YMax), saved_.YText,
          saved_.YUnits,                saved_.Title,                  saved_.Abbrev,
          saved_.Color};
}

std::optional<std::string> ChannelEditor::write(const ChannelEntry& entry, Button button) {
  const std::optional<double> yMin = PlainDecimal(entry.yMin);
  const std::optional<double> yMax = PlainDecimal(entry.yMax);
  if (!yMin || !yMax || !(*yMax > *yMin))
    return std::string(button == Button::Apply ? kApplyRefusal : kOkRefusal);

  // A text Settings.txt cannot hold would shift every later field of the file
  // when it is read back. Texts left as they were loaded are taken as they are.
  struct TextField {
    const char* name;
    const std::string& entered;
    const std::string& loaded;
  };
  const TextField texts[] = {{"Y-Axis Text", entry.yText, saved_.YText},
                             {"Y-Axis Units", entry.yUnits, saved_.YUnits},
                             {"Title", entry.title, saved_.Title},
                             {"Abbrev", entry.abbrev, saved_.Abbrev}};
  for (const TextField& f : texts) {
    if (f.entered == f.loaded) continue;
    if (auto why = SettingsTextProblem(f.entered))
      return std::string("The ") + f.name + " cannot be kept in Settings.txt: " + *why + ".";
  }

  ChanSetting& r = record();
  r.YMin = *yMin;
  r.YMax = *yMax;
  r.YText = entry.yText;
  r.YUnits = entry.yUnits;
  r.Title = entry.title;
  r.Abbrev = entry.abbrev;
  r.Color = entry.color;
  if (button == Button::Ok) okPressed_ = true;
  return std::nullopt;
}

void ChannelEditor::restore() {
  ChanSetting& r = record();
  r.YMin = saved_.YMin;
  r.YMax = saved_.YMax;
  r.YText = saved_.YText;
  r.YUnits = saved_.YUnits;
  r.Title = saved_.Title;
  r.Abbrev = saved_.Abbrev;
  r.Color = saved_.Color;
}

void ChannelEditor::unload() {
  if (!okPressed_) restore();
}

}  // namespace kvn
