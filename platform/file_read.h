// File-reading seam: a whole regular file, named by a UTF-8 path, read into one buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class FileReadStatus {
    kRead,
    kNotFound,         // no file of that name (or a folder on its way is missing)
    kCannotOpen,       // no access, or not readable
    kNotARegularFile,  // a directory, device or pipe
    kTooLarge,         // larger than the caller can take; nothing was read
};

struct tagFileRead {
    FileReadStatus status = FileReadStatus::kCannotOpen;
    std::unique_ptr<std::uint8_t[]> bytes;  // null when the file is empty or was not read
    std::uint64_t size = 0;                 // also the size of a file refused as too large
    std::uint32_t systemError = 0;          // the system's error code of the failing call, if any
    bool directory = false;                 // kNotARegularFile: the name is a directory
};

// The system's own text for a systemError of ReadWholeFile; empty when it has none.
std::wstring FileReadErrorText(std::uint32_t systemError);

// Reads the file whole when it is a regular file of at most maxBytes bytes. The size is checked
// before anything is allocated.
[[nodiscard]] tagFileRead ReadWholeFile(const std::string& utf8Path, std::uint64_t maxBytes);

}  // namespace platform
