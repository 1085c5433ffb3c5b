// File-reading seam: a whole regular file, named by a UTF-8 path, read into one buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class FileReadStatus {
    kRead,
    kCannotOpen,       // missing, no access, or not readable
    kNotARegularFile,  // a directory, device or pipe
    kTooLarge,         // larger than the caller can take; nothing was read
};

struct tagFileRead {
    FileReadStatus status = FileReadStatus::kCannotOpen;
    std::unique_ptr<std::uint8_t[]> bytes;  // null when the file is empty or was not read
    std::uint64_t size = 0;
    std::uint32_t systemError = 0;  // the system's error code of the failing call, if any
};

// Reads the file whole when it is a regular file of at most maxBytes bytes. The size is checked
// before anything is allocated.
[[nodiscard]] tagFileRead ReadWholeFile(const std::string& utf8Path, std::uint64_t maxBytes);

}  // namespace platform
