#include "chart/chart_export.h"

#include <cstddef>
#include <vector>

#include "common/num_forms.h"
#include "common/text_file.h"

namespace kvn {

namespace {

// Sources 0..7, the analog inputs, are exported; the others are not.
constexpr int kExportedSources = 8;

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string ExportFileContent(const StripChartModel& model, int channel) {
  std::string out;
  for (int k = model.winStart(); k <= model.winEnd(); ++k) {
    out += FileForm(model.sample(channel, k));
    out += "\r\n";
  }
  return out;
}

std::optional<std::string> ExportNameProblem(std::string_view abbrev) {
  if (abbrev.empty()) return "it is empty";
  if (abbrev.find_first_of("/\\") != std::string_view::npos) return "it holds a path separator";
  if (abbrev.find("..") != std::string_view::npos) return "it holds \"..\"";
  if (abbrev.find(':') != std::string_view::npos) return "it holds a colon";
  if (abbrev.find_first_of("*?") != std::string_view::npos) return "it holds a wildcard character";
  if (abbrev.find_first_of("<>|\"") != std::string_view::npos)
    return "it holds a character that Windows file names cannot hold";
  for (char c : abbrev) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "it holds a control character";
  }
  // Folders may not tell the case of letters apart (on Windows they do not).
  if (SameLetters(abbrev, "Settings")) return "its file would replace the chart settings file";
  return std::nullopt;
}

std::optional<std::string> ExportShownSamples(const ChanTable& table, const StripChartModel& model,
                                              const std::string& folder) {
  std::vector<std::string> problems;
  for (int c = 0; c < kExportedSources; ++c) {
    const ChanSetting& record = table[static_cast<std::size_t>(c)];
    if (!record.InUse) continue;
    if (auto why = ExportNameProblem(record.Abbrev)) {
      problems.push_back("Channel " + std::to_string(c) + " was not saved: its short name \"" +
                         record.Abbrev + "\" cannot name a file, " + *why + ".");
      continue;
    }
    const std::string path = JoinPath(folder, record.Abbrev + ".txt");
    if (auto reason = ReplaceFileAtomically(path, ExportFileContent(model, c)))
      problems.push_back("Channel " + std::to_string(c) + " could not be saved to " + path + ": " +
                         *reason + ".");
  }
  if (problems.empty()) return std::nullopt;
  std::string message = "Not all of the chart data was saved.";
  for (const std::string& p : problems) message += "\r\n" + p;
  return message;
}

}  // namespace kvn
