// The strip chart's channel table and its settings file, Settings.txt.
//
// The table has one record per chart source: 0..7 the analog sensors, 8 the
// humidity sensor, 9 the current temperature, 10 and 11 the high and low set
// points. Record 12 is not a source: nothing here reads or writes it.
//
// Settings.txt holds records 0..11, seven lines each (84 lines, CR LF):
// Abbrev, Color, YMax, YMin, Title, YText, YUnits. Numbers are in the file
// form (" 10 ", "-2 "); texts stand as they are, without quotes, unless they
// would not read back so: a text that holds a comma or a line break, or
// begins or ends with a blank, stands in double quotes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvn {

struct ChanSetting {
  std::string Title;
  double YMin = 0;
  double YMax = 0;
  std::string YUnits;
  std::string YText;
  std::int32_t Color = 0;  // colour reference 0x00BBGGRR
  std::string Abbrev;
  std::int16_t InUse = 0;  // 0 false, -1 true; kept by the chart window, never in the file
};

inline constexpr int kChartSources = 12;
using ChanTable = std::array<ChanSetting, 13>;

// Gives record n (0..11) its built-in settings; InUse is left alone. Any
// other n does nothing.
void SetChannelDefaults(ChanTable& table, int n);

// How much of Settings.txt is read at most; a real one is a few hundred bytes.
inline constexpr std::size_t kMaxSettingsBytes = std::size_t{1} << 20;

// True when a plain file exists at path (a folder does not count).
bool FileExists(const std::string& path);

// Settings.txt in the executable's folder.
std::string SettingsFilePath(const std::string& exeDir);

// Fills records 0..11 from the settings file at path, or with the defaults.
// A missing file gives the defaults silently, as does a file that ends at a
// record boundary before the twelfth record (for the missing records).
// Returns nothing when all went well, otherwise one message for the
// user: the file cannot be read (defaults for all records), or a record is
// cut short or holds a Color, YMax or YMin that is not a finite number (that
// record and all after it get their defaults; the message names the file and
// the line). Reads at most the first kMaxSettingsBytes of the file. Record
// 12 and every InUse flag are never touched.
std::optional<std::string> LoadChannelSettings(ChanTable& table, const std::string& path);

// The reading part of LoadChannelSettings, on the file's text (of which at
// most kMaxSettingsBytes are read); fileName only goes into the message.
std::optional<std::string> ParseChannelSettings(ChanTable& table, std::string text,
                                                const std::string& fileName);

// The whole content of Settings.txt for records 0..11.
std::string SettingsFileContent(const ChanTable& table);

// Why a Title, Abbrev, YText or YUnits typed by the user cannot be kept in
// Settings.txt, as a few words ("it holds a line break"); nothing when it
// can. The file cannot hold a text that begins with a double quote, nor one
// that holds a double quote and would have to stand in quotes; a text of one
// line holds no line break.
std::optional<std::string> SettingsTextProblem(std::string_view text);

// Writes Settings.txt atomically. Returns nothing on success, otherwise a
// message for the user naming the file and the reason; the old file is then
// left as it was. A table with a text the file cannot hold is not written (a
// table loaded from the file never has one). The table is never changed.
std::optional<std::string> SaveChannelSettings(const ChanTable& table, const std::string& path);

// The colour a trace is drawn in: the colour reference's low 24 bits
// (0x00BBGGRR), whatever its top byte holds.
std::uint32_t DrawColor(std::int32_t colorRef);

}  // namespace kvn
