// Writing the panel's text files: every line ends in CR LF, and files the
// panel owns are replaced atomically (written beside the target, flushed to
// the disk, then renamed over it), so a crash never leaves one half written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kvn {

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The one way a folder and a file name are joined: with one separator between
// them, unless the folder already ends in one (the root, "C:\\"). No folder
// gives the name alone, in the current directory.
std::string JoinPath(const std::string& folder, const std::string& name,
                     char separator = kPathSeparator);

// The path with the platform's own separator between its parts: on Windows
// every "/" (as toolkits give the program's folder) becomes "\\"; elsewhere
// the path as it is.
std::string NativeSeparators(std::string path);

#ifdef _WIN32
// The system's text for a Windows error code, without its full stop and line
// end ("Access is denied"), and with "the file" for the file it would name.
std::string WindowsErrorText(unsigned long code);
#endif

// Joins lines, each followed by CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

// Replaces the file at path with content. On failure returns a short reason
// ("Permission denied", ...); the old file, if any, is left as it was, and the
// temporary file is removed. A replaced file keeps its permissions when its
// owner can read it; otherwise it gets those of a new file.
//
// When no temporary file can be created beside the target (a folder that
// cannot be written, holding a file that can; no inode left), an existing
// file is rewritten in place instead and forced to the disk, once the new
// content has been seen to fit beside the old; the reason returned is then
// that of the rewrite, or, with no file to rewrite, that of the folder.
std::optional<std::string> ReplaceFileAtomically(const std::string& path,
                                                 const std::string& content);

// Removes the temporary files that ReplaceFileAtomically leaves beside path
// when its process is killed part way: those of our own naming whose process
// no longer runs. Files of a running process, and any other file, are kept.
// Returns how many were removed.
int RemoveStaleTemporaries(const std::string& path);

// Reads at most maxBytes from the start of the file. nullopt when the file
// cannot be opened or read (missing, a folder or other non-plain file, no
// permission, a read error); the reason, as a short text ("Permission
// denied"), then goes to *reason when it is given.
std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t maxBytes,
                                          std::string* reason = nullptr);

// True when a plain file exists at path (a symbolic link counts by what it
// points to; a folder, device or pipe does not count).
bool IsPlainFile(const std::string& path);

}  // namespace kvn
