// The whole-file writes over the safe open, shared by both editions.
#include "platform/safe_file.h"

namespace platform {

FileStatus WriteFileSafely(const std::wstring& path, const void* data, std::size_t size) {
    auto file = SafeFile::Open(path, SafeOpenMode::kReplace);
    if (!file) return file.error();
    return (*file)->Write(data, size);
}

FileStatus ReplaceFileSafely(const std::wstring& path, const void* data, std::size_t size) {
    FileStatus first = WriteFileSafely(path, data, size);
    if (first) return first;
    if (first.error().refusal != FileRefusal::kLink || !MoveFileNameAside(path)) return first;
    return WriteFileSafely(path, data, size);
}

}  // namespace platform
