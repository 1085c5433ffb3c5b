// The whole-file writes over the safe open, shared by both editions.
#include "platform/safe_file.h"

namespace platform {

bool WriteFileSafely(const std::wstring& path, const void* data, std::size_t size,
                     FileError* error) {
    auto file = SafeFile::Open(path, SafeOpenMode::kReplace, error);
    return file && file->Write(data, size, error);
}

bool ReplaceFileSafely(const std::wstring& path, const void* data, std::size_t size,
                       FileError* error) {
    FileError first;
    if (WriteFileSafely(path, data, size, &first)) return true;
    if (first.refusal != FileRefusal::kLink || !MoveFileNameAside(path)) {
        if (error) *error = first;
        return false;
    }
    return WriteFileSafely(path, data, size, error);
}

}  // namespace platform
