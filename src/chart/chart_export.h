// Export of the samples the chart shows: one text file per analog channel in
// use (0..7), named after its short name, beside the executable. Each file
// holds the window's columns winStart..winEnd, one value a line in the file
// form (" 2.5 ", "-1 "), CR LF after each line, and nothing else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "chart/channel_table.h"
#include "chart/chart_model.h"

namespace kvn {

// The content of channel's export file as the window stands.
std::string ExportFileContent(const StripChartModel& model, int channel);

// Why this short name cannot name an export file in the export folder, as a
// few words ("it holds a colon"); nothing when it can. Refused: an empty
// name, a path separator, "..", a colon, a wildcard, a character no Windows
// file name holds, a control character, and the name of the chart settings
// file.
std::optional<std::string> ExportNameProblem(std::string_view abbrev);

// Writes the export files "<short name>.txt" in folder for the channels 0..7
// in use, in channel order, each
// replaced atomically and closed before the next; a later channel with the
// same short name replaces an earlier one's file. A channel whose short name
// cannot name a file is skipped, and the others are still written. Returns
// one message for the user listing every channel skipped and every file that
// could not be written, with the reasons; nothing when all went well. The
// table and the model are not changed.
std::optional<std::string> ExportShownSamples(const ChanTable& table, const StripChartModel& model,
                                              const std::string& folder);

}  // namespace kvn
