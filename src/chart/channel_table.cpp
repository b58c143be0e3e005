#include "chart/channel_table.h"

#include <cmath>
#include <utility>
#include <vector>

#include "common/field_reader.h"
#include "common/num_forms.h"
#include "common/text_file.h"
#include "shared/program_values.h"

namespace kvn {

namespace {

struct ChannelDefault {
  const char* title;
  const char* abbrev;
  const char* yText;
  const char* yUnits;
  std::int32_t color;
  double yMax;
};

constexpr const char* kVolts = "Volts*5/256";
constexpr std::int32_t kNavy = 0x800000;

constexpr std::array<ChannelDefault, kChartSources> kDefaults = {{
    {"Analog Sensor 1", "Ana1", kVolts, "V", 0x000000, 10},
    {"Analog Sensor 2", "Ana2", kVolts, "V", 0xFF0000, 10},
    {"Analog Sensor 3", "Ana3", kVolts, "V", 0x00FFFF, 10},
    {"Analog Sensor 4", "Press", kVolts, "V", 0x00FF00, 10},
    {"Analog Sensor 5", "Ana5", kVolts, "V", 0x0000FF, 10},
    {"Analog Sensor 6", "Ana6", kVolts, "V", 0x000080, 10},
    {"Analog Sensor 7", "Ana7", kVolts, "V", 0x408000, 10},
    {"Analog Sensor 8", "Ana8", kVolts, "V", kNavy, 10},
    {"Humidity Sensor", "Hum", "Hum", "%", 0x000050, 20},
    {"Cur Temperature", "CTmp", "Temp", "C/F", kNavy, 10},
    {"High Temperature", "HTmp", "Temp", "C/F", kNavy, 10},
    {"Low Temperature", "LTmp", "Temp", "C/F", kNavy, 10},
}};

constexpr int kFieldsPerRecord = 7;

// The fields of one record in file order, as the user knows them.
constexpr std::array<const char*, kFieldsPerRecord> kFieldNames = {
    "short name", "colour", "Y maximum", "Y minimum", "title", "Y axis text", "units",
};
enum FieldIndex { kAbbrev, kColor, kYMax, kYMin, kTitle, kYText, kYUnits };

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Line ends before offset (CR LF counts once).
int LineEndsBefore(const std::string& text, std::size_t offset) {
  int count = 0;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
      ++count;
    }
  }
  return count;
}

// The number of the last line of the text (a final line end closes it).
int LastLine(const std::string& text) {
  const int ends = LineEndsBefore(text, text.size());
  return text.empty() || IsLineEnd(text.back()) ? ends : ends + 1;
}

// Where the field after the first `fields` fields begins. FieldReader does not
// tell how far it has read, but it reads forward and looks at most one byte
// beyond what it takes: on a prefix no longer than that offset, reading
// `fields` fields uses the prefix up; on a longer one it stops at the same
// offset as on the whole text. So the offset is the longest prefix that the
// fields use up. Only wanted for a message, so the repeated reading is fine.
std::size_t OffsetAfterFields(const std::string& text, int fields) {
  const auto usedUp = [&](std::size_t length) {
    FieldReader reader(text.substr(0, length));
    for (int i = 0; i < fields; ++i) reader.nextText();
    return reader.exhausted();
  };
  std::size_t low = 0;  // usedUp(low) always holds
  std::size_t high = text.size();
  while (low < high) {
    const std::size_t mid = low + (high - low + 1) / 2;
    if (usedUp(mid)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

// What the user is told about the channels that fell back to their defaults.
std::string FallbackNote(int firstDefault) {
  const std::string name = kDefaults[static_cast<std::size_t>(firstDefault)].title;
  if (firstDefault == kChartSources - 1) return "The channel " + name + " uses its default settings.";
  return "The channels from " + name + " on use their default settings.";
}

// Why a Color, YMax or YMin item is no number the table can hold; nothing
// when it is one, by the panel's number rule, and finite.
std::optional<std::string> NumberProblem(const NumberScan& scan) {
  if (!scan.hasDigits) return "is not a number";
  if (!std::isfinite(scan.value)) return "is out of range";
  return std::nullopt;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// True when a text must stand in double quotes to read back as it is: it
// holds a comma or a line break, begins or ends with a blank, or begins with
// a double quote itself.
bool NeedsQuotes(std::string_view text) {
  return text.find_first_of(",\r\n") != std::string_view::npos ||
         (!text.empty() && (IsBlank(text.front()) || IsBlank(text.back()) || text.front() == '"'));
}

// Why the file cannot hold a text so that it reads back the same; nothing
// when it can.
std::optional<std::string> UnquotableText(std::string_view text) {
  if (!NeedsQuotes(text) || text.find('"') == std::string_view::npos) return std::nullopt;
  if (text.front() == '"') return "it begins with a double quote";
  return "it holds a double quote and a comma, a line break or a blank at either end";
}

// Why Save must refuse the table: a text the file cannot hold.
std::optional<std::string> UnwritableText(const ChanTable& table) {
  for (int n = 0; n < kChartSources; ++n) {
    const ChanSetting& r = table[static_cast<std::size_t>(n)];
    const std::pair<FieldIndex, const std::string*> texts[] = {
        {kAbbrev, &r.Abbrev}, {kTitle, &r.Title}, {kYText, &r.YText}, {kYUnits, &r.YUnits}};
    for (const auto& [field, value] : texts) {
      if (auto why = UnquotableText(*value)) {
        return std::string("the ") + kFieldNames[static_cast<std::size_t>(field)] + " of " +
               kDefaults[static_cast<std::size_t>(n)].title + " cannot be kept there: " + *why;
      }
    }
  }
  return std::nullopt;
}

// The line of the file that holds a text.
std::string TextLine(const std::string& text) {
  return NeedsQuotes(text) ? '"' + text + '"' : text;
}

}  // namespace

void SetChannelDefaults(ChanTable& table, int n) {
  if (n < 0 || n >= kChartSources) return;
  const ChannelDefault& d = kDefaults[static_cast<std::size_t>(n)];
  ChanSetting& r = table[static_cast<std::size_t>(n)];
  r.Title = d.title;
  r.YMin = 0;
  r.YMax = d.yMax;
  r.YUnits = d.yUnits;
  r.YText = d.yText;
  r.Color = d.color;
  r.Abbrev = d.abbrev;
}

bool FileExists(const std::string& path) { return IsPlainFile(path); }

std::string SettingsFilePath(const std::string& exeDir) { return JoinPath(exeDir, "Settings.txt"); }

std::optional<std::string> LoadChannelSettings(ChanTable& table, const std::string& path) {
  if (!FileExists(path)) {
    for (int n = 0; n < kChartSources; ++n) SetChannelDefaults(table, n);
    return std::nullopt;
  }
  // One byte more than is read, to tell a file cut by the limit from one
  // that really ends there.
  std::string reason;
  std::optional<std::string> text = ReadFilePrefix(path, kMaxSettingsBytes + 1, &reason);
  if (!text) {
    for (int n = 0; n < kChartSources; ++n) SetChannelDefaults(table, n);
    return "The chart settings file " + path + " could not be read: " + reason +
           ". All channels use their default settings.";
  }
  return ParseChannelSettings(table, std::move(*text), path);
}

std::optional<std::string> ParseChannelSettings(ChanTable& table, std::string text,
                                                const std::string& fileName) {
  const bool tooLong = text.size() > kMaxSettingsBytes;
  if (tooLong) text.resize(kMaxSettingsBytes);

  FieldReader reader(text);
  int fieldsRead = 0;
  for (int n = 0; n < kChartSources; ++n) {
    // A file that ends between records leaves the rest at their defaults.
    if (reader.atEnd()) {
      SetChannelDefaults(table, n);
      continue;
    }
    ChanSetting record = table[static_cast<std::size_t>(n)];
    std::string problem;
    for (int f = 0; f < kFieldsPerRecord && problem.empty(); ++f) {
      if (reader.exhausted()) {
        problem = "The chart settings file " + fileName +
                  (tooLong ? " is larger than the 1 MiB that is read; reading stopped"
                           : " ends") +
                  " at line " + std::to_string(LastLine(text)) + ", in the middle of the settings for " +
                  kDefaults[static_cast<std::size_t>(n)].title + ".";
        break;
      }
      std::string item = reader.nextText();
      ++fieldsRead;
      double number = 0;
      if (f == kColor || f == kYMax || f == kYMin) {
        const NumberScan scan = ScanNumber(item);
        if (auto why = NumberProblem(scan)) {
          const int line = LineEndsBefore(text, OffsetAfterFields(text, fieldsRead - 1)) + 1;
          problem = "The chart settings file " + fileName + " could not be read at line " +
                    std::to_string(line) + ": the " + kFieldNames[static_cast<std::size_t>(f)] +
                    " there " + *why + ".";
          break;
        }
        number = scan.value;
      }
      switch (f) {
        case kAbbrev: record.Abbrev = std::move(item); break;
        case kColor: record.Color = ToInt32(number); break;
        case kYMax: record.YMax = number; break;
        case kYMin: record.YMin = number; break;
        case kTitle: record.Title = std::move(item); break;
        case kYText: record.YText = std::move(item); break;
        default: record.YUnits = std::move(item); break;
      }
    }
    if (!problem.empty()) {
      for (int m = n; m < kChartSources; ++m) SetChannelDefaults(table, m);
      return problem + " " + FallbackNote(n);
    }
    table[static_cast<std::size_t>(n)] = std::move(record);
  }
  return std::nullopt;
}

std::string SettingsFileContent(const ChanTable& table) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(kChartSources * kFieldsPerRecord));
  for (int n = 0; n < kChartSources; ++n) {
    const ChanSetting& r = table[static_cast<std::size_t>(n)];
    lines.push_back(TextLine(r.Abbrev));
    lines.push_back(FileForm(r.Color));
    lines.push_back(FileForm(r.YMax));
    lines.push_back(FileForm(r.YMin));
    lines.push_back(TextLine(r.Title));
    lines.push_back(TextLine(r.YText));
    lines.push_back(TextLine(r.YUnits));
  }
  return JoinCrLf(lines);
}

std::optional<std::string> SettingsTextProblem(std::string_view text) {
  if (text.find_first_of("\r\n") != std::string_view::npos) return "it holds a line break";
  if (auto why = UnquotableText(text)) return why;
  return std::nullopt;
}

std::optional<std::string> SaveChannelSettings(const ChanTable& table, const std::string& path) {
  if (auto why = UnwritableText(table)) {
    return "The chart settings could not be saved to " + path + ": " + *why + ".";
  }
  if (auto reason = ReplaceFileAtomically(path, SettingsFileContent(table))) {
    return "The chart settings could not be saved to " + path + ": " + *reason + ".";
  }
  return std::nullopt;
}

std::uint32_t DrawColor(std::int32_t colorRef) {
  return static_cast<std::uint32_t>(colorRef) & 0xFFFFFFu;
}

}  // namespace kvn
