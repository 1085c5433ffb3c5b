// Result files of the elevated run: whole-file replacement by rename, reads that follow no link.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/safe_file.h"

namespace platform {

// Writes the bytes into a new file beside `path`, flushes it and renames it onto `path` (Windows:
// MoveFileExW, replacing, write-through), so a reader sees the old or the new content, never a
// part. A `path` that is a link, a reparse point, not a plain file, or a file with more than one
// hard link is refused and left alone; nothing on the way follows a link. False with the failing
// call in `error`.
[[nodiscard]] bool ReplaceFileAtomically(const std::wstring& path, const std::string& bytes,
                                         FileError* error);

// The whole content of a plain file of at most maxBytes bytes; nothing when it is missing, larger,
// a link or reparse point, or has more than one hard link.
std::optional<std::string> ReadFileSafely(const std::wstring& path, std::size_t maxBytes);

// True when the path names a link (symbolic link, junction or other reparse point).
bool IsLinkOrReparsePoint(const std::wstring& path);

// Names (without the directory) of the plain files in a directory; empty when it cannot be read.
std::vector<std::wstring> PlainFileNames(const std::wstring& directory);

}  // namespace platform
