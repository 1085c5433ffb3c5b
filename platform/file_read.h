// File-reading seam: a whole regular file, named by a UTF-8 path, read into one buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"

namespace platform {

// Why a whole-file read gave no bytes.
enum class FileReadStatus {
    kNotFound,         // no file of that name (or a folder on its way is missing)
    kCannotOpen,       // no access, or not readable
    kNotARegularFile,  // a directory, device or pipe
    kTooLarge,         // larger than the caller can take; nothing was read
};

// The failed call with the system's code (0 when no call failed), and what kept the bytes away.
struct FileReadError : ovn::Error {
    FileReadStatus status = FileReadStatus::kCannotOpen;
    std::uint64_t size = 0;  // kTooLarge: the file's size
    bool directory = false;  // kNotARegularFile: the name is a directory
};

struct tagFileBytes {
    std::unique_ptr<std::uint8_t[]> bytes;  // null when the file is empty
    std::uint64_t size = 0;
};

// The system's own text for an error code of ReadWholeFile; empty when it has none.
std::wstring FileReadErrorText(std::uint32_t systemError);

// Reads the file whole when it is a regular file of at most maxBytes bytes. The size is checked
// before anything is allocated.
[[nodiscard]] ovn::Result<tagFileBytes, FileReadError> ReadWholeFile(const std::string& utf8Path,
                                                                     std::uint64_t maxBytes);

}  // namespace platform
