// The state file: the bus address index and the logging period text, carried
// from one run to the next.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvn {

struct StoredState {
  std::optional<std::int32_t> brdAddrIndex;  // absent when the file is empty or missing
  std::optional<std::string> logTime;        // absent when the file has no second field
};

// Reads the two fields. A missing or unreadable file gives an empty state; a
// first field that is not a number reads as 0; an index beyond the 32-bit
// range is held at its limit. Only the start of an oversized file is read.
StoredState ReadStateFile(const std::string& path);

// The file's content: two lines, each ended by CR LF; the index as " 0 ".
std::string StateFileContent(std::int32_t brdAddrIndex, const std::string& logTime);

// Replaces the file atomically. On failure returns the reason.
std::optional<std::string> WriteStateFile(const std::string& path, std::int32_t brdAddrIndex,
                                          const std::string& logTime);

}  // namespace kvn
