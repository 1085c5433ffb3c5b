// Held files of the Windows edition: written unshared, then kept open with read sharing only.
#include <windows.h>

#include "platform/held_file.h"

namespace platform {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

ScopedHandle Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE handle = CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace

struct HeldFile::Handle {
    ScopedHandle file;
};

HeldFile::HeldFile(std::wstring path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}
HeldFile::~HeldFile() = default;

std::unique_ptr<HeldFile> HeldFile::Write(const std::wstring& path,
                                          const std::vector<std::uint8_t>& bytes,
                                          FileError* error) {
    {
        ScopedHandle writer = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (!writer) {
            if (error) *error = {"CreateFileW (write)", GetLastError()};
            return nullptr;
        }
        DWORD written = 0;
        if (!WriteFile(writer.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            written != bytes.size()) {
            if (error) *error = {"WriteFile", GetLastError()};
            return nullptr;
        }
    }
    // Read sharing admits the start of the program and denies writers, deleters and renamers. The
    // moment between the two opens is covered by Holds, which reads through this handle.
    ScopedHandle holder = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!holder) {
        if (error) *error = {"CreateFileW (hold)", GetLastError()};
        return nullptr;
    }
    auto handle = std::make_unique<Handle>();
    handle->file = std::move(holder);
    return std::unique_ptr<HeldFile>(new HeldFile(path, std::move(handle)));
}

bool HeldFile::Holds(const std::vector<std::uint8_t>& bytes) const {
    HANDLE file = handle_->file.get();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || static_cast<std::uint64_t>(size.QuadPart) != bytes.size())
        return false;
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    std::vector<std::uint8_t> onDisk(bytes.size());
    DWORD got = 0;
    if (!ReadFile(file, onDisk.data(), static_cast<DWORD>(onDisk.size()), &got, nullptr) ||
        got != onDisk.size())
        return false;
    return onDisk == bytes;
}

}  // namespace platform
