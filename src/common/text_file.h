// Writing the panel's text files: every line ends in CR LF, and files the
// panel owns are replaced atomically (written beside the target, flushed to
// the disk, then renamed over it), so a crash never leaves one half written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kvn {

// Joins lines, each followed by CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

// Replaces the file at path with content. On failure returns a short reason
// ("Permission denied", ...); the old file, if any, is left as it was, and the
// temporary file is removed. A replaced file keeps its permissions.
std::optional<std::string> ReplaceFileAtomically(const std::string& path,
                                                 const std::string& content);

// Reads at most maxBytes from the start of the file. nullopt when the file
// cannot be opened or read (missing, a folder or other non-plain file, no
// permission, a read error).
std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t maxBytes);

// True when a plain file exists at path (a symbolic link counts by what it
// points to; a folder, device or pipe does not count).
bool IsPlainFile(const std::string& path);

}  // namespace kvn
