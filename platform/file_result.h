// What the file seams return: the value, or the failed call and whether the file was refused.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "base/result.h"

namespace platform {

// Why a file was refused rather than merely not opened or written.
enum class FileRefusal {
    kNone,
    kLink,       // the name is a link, a reparse point or one of several names
    kElsewhere,  // the open handle resolved to another file
};

// A failed file operation: the failing call (or what made the file unacceptable) with its code,
// and whether the file itself was refused.
struct FileError : ovn::Error {
    FileRefusal refusal = FileRefusal::kNone;
    bool tooLarge = false;  // larger than the reader takes; nothing was read
    bool refused() const { return refusal != FileRefusal::kNone; }
};

inline FileError FileFailure(std::string call, std::uint32_t code,
                             FileRefusal refusal = FileRefusal::kNone) {
    FileError error;
    error.call = std::move(call);
    error.code = code;
    error.refusal = refusal;
    return error;
}

// What a file seam returns: the value, or the failed call with whether the file was refused.
template <typename T>
using FileResult = ovn::Result<T, FileError>;
using FileStatus = ovn::Result<void, FileError>;

}  // namespace platform
