// Whole-file reads on Windows: wide file names, so any name the file system holds can be opened.
#include <windows.h>

#include "base/win_handles_win.h"
#include "platform/file_read.h"
#include "platform/system_error.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

FileReadError Failed(FileReadStatus status, const char* call, DWORD error) {
    FileReadError failure;
    failure.call = call;
    failure.code = error;
    failure.status = status;
    return failure;
}

}  // namespace

ovn::Result<tagFileBytes, FileReadError> ReadWholeFile(const std::string& utf8Path,
                                                       std::uint64_t maxBytes) {
    // A directory does not open without backup semantics: it fails here like a missing file.
    HANDLE raw = CreateFileW(Utf8ToWide(utf8Path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Failed(FileReadStatus::kNotFound, "CreateFileW", error);
        // The refusal of a directory reads as access denied; its attributes tell it apart.
        const DWORD attributes = GetFileAttributesW(Utf8ToWide(utf8Path).c_str());
        if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            FileReadError refused = Failed(FileReadStatus::kNotARegularFile, "CreateFileW", error);
            refused.directory = true;
            return refused;
        }
        return Failed(FileReadStatus::kCannotOpen, "CreateFileW", error);
    }
    const ovn::ScopedKernelHandle file(raw);
    if (GetFileType(raw) != FILE_TYPE_DISK)
        return Failed(FileReadStatus::kNotARegularFile, "the name is no regular file", 0);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(raw, &size))
        return Failed(FileReadStatus::kCannotOpen, "GetFileSizeEx", GetLastError());
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        FileReadError refused = Failed(FileReadStatus::kTooLarge, "the file is too large", 0);
        refused.size = static_cast<std::uint64_t>(size.QuadPart);
        return refused;
    }

    tagFileBytes result;
    const auto expected = static_cast<std::uint64_t>(size.QuadPart);
    if (expected == 0) return result;
    result.bytes.reset(new std::uint8_t[expected]);
    std::uint64_t total = 0;
    while (total < expected) {
        const std::uint64_t left = expected - total;
        const DWORD piece = static_cast<DWORD>(left < (1u << 24) ? left : (1u << 24));
        DWORD got = 0;
        if (!ReadFile(raw, result.bytes.get() + total, piece, &got, nullptr)) {
            return Failed(FileReadStatus::kCannotOpen, "ReadFile", GetLastError());
        }
        if (got == 0) break;  // the file shrank meanwhile: what was there is the image
        total += got;
    }
    result.size = total;
    return result;
}

std::wstring FileReadErrorText(std::uint32_t systemError) {
    return systemError == 0 ? std::wstring() : SystemErrorText(systemError);
}

}  // namespace platform
