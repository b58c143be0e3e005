// Writing the panel's text files: every line ends in CR LF, and files the
// panel owns are replaced atomically (written beside the target, flushed to
// the disk, then renamed over it), so a crash never leaves one half written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvn {

// Joins lines, each followed by CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

// Replaces the file at path with content. On failure returns a short reason
// ("Permission denied", ...); the old file, if any, is left as it was.
std::optional<std::string> ReplaceFileAtomically(const std::string& path,
                                                 const std::string& content);

// Reads at most maxBytes from the start of the file. nullopt when the file
// cannot be opened (missing, a folder, no permission).
std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t maxBytes);

// True when a plain file exists at path.
bool IsPlainFile(const std::string& path);

}  // namespace kvn
