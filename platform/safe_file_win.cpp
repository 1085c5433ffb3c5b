// Link-safe files of the Windows edition: reparse points are opened as themselves, and the final
// path of the handle is checked, which also catches links that do not show as reparse points.
#include <windows.h>

#include "base/win_handles_win.h"
#include "platform/final_path_win.h"
#include "platform/safe_file.h"

namespace platform {

namespace {

using ovn::ScopedKernelHandle;

FileError Fail(const char* call, DWORD code, FileRefusal refusal = FileRefusal::kNone) {
    return FileFailure(call, code, refusal);
}

FileError FailElsewhere() {
    return FileFailure("final path of the handle is elsewhere (a link)", 0,
                       FileRefusal::kElsewhere);
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

// The file must be the entry of its directory: a link anywhere in the last step resolves elsewhere.
FileStatus CheckFinalPath(HANDLE file, const std::wstring& path) {
    const std::wstring full = FullPath(path);
    const std::size_t slash = full.find_last_of(L"\\/");
    if (full.empty() || slash == std::wstring::npos) return Fail("GetFullPathNameW", 0);
    ScopedKernelHandle directory(
        CreateFileW(full.substr(0, slash + 1).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!directory) return Fail("CreateFileW (directory)", GetLastError());
    const ovn::Result<std::wstring> directoryPath = FinalPath(directory.get());
    if (!directoryPath) return Fail(directoryPath.error().call.c_str(), directoryPath.error().code);
    const ovn::Result<std::wstring> actual = FinalPath(file);
    if (!actual) return Fail(actual.error().call.c_str(), actual.error().code);
    std::wstring expected = *directoryPath;
    if (expected.empty() || expected.back() != L'\\') expected += L'\\';
    expected += full.substr(slash + 1);
    if (!SamePath(expected, *actual)) return FailElsewhere();
    return {};
}

}  // namespace

struct SafeFile::Handle {
    ScopedKernelHandle file;
};

SafeFile::SafeFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
SafeFile::~SafeFile() = default;

FileResult<std::unique_ptr<SafeFile>> SafeFile::Open(const std::wstring& path, SafeOpenMode mode) {
    const bool hold = mode == SafeOpenMode::kHold;
    const DWORD access = hold ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = mode == SafeOpenMode::kReplace ? 0 : FILE_SHARE_READ;
    // Never CREATE_ALWAYS: that would empty a planted link's target before it could be refused.
    HANDLE raw =
        CreateFileW(path.c_str(), access, share, nullptr, hold ? OPEN_EXISTING : OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        return Fail("CreateFileW", GetLastError());
    }
    ScopedKernelHandle file(raw);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(raw, &info)) {
        return Fail("GetFileInformationByHandle", GetLastError());
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return Fail("the file is a reparse point", 0, FileRefusal::kLink);
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return Fail("the file is a directory", 0, FileRefusal::kLink);
    }
    if (info.nNumberOfLinks > 1) {
        return Fail("the file has more than one name (a hard link)", info.nNumberOfLinks,
                    FileRefusal::kLink);
    }
    if (FileStatus checked = CheckFinalPath(raw, path); !checked) return checked.error();
    if (mode == SafeOpenMode::kReplace && !SetEndOfFile(raw)) {
        return Fail("SetEndOfFile", GetLastError());
    }
    if (mode == SafeOpenMode::kAppend) {
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(raw, zero, nullptr, FILE_END)) {
            return Fail("SetFilePointerEx", GetLastError());
        }
    }
    auto handle = std::make_unique<Handle>();
    handle->file = std::move(file);
    return std::unique_ptr<SafeFile>(new SafeFile(std::move(handle)));
}

FileStatus SafeFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        DWORD wrote = 0;
        const DWORD piece = static_cast<DWORD>(size - done > 0x10000000 ? 0x10000000 : size - done);
        if (!WriteFile(handle_->file.get(), bytes + done, piece, &wrote, nullptr) || wrote == 0)
            return Fail("WriteFile", GetLastError());
        done += wrote;
    }
    return {};
}

FileResult<std::vector<std::uint8_t>> SafeFile::ReadAll() {
    HANDLE file = handle_->file.get();
    LARGE_INTEGER size{};
    LARGE_INTEGER start{};
    if (!GetFileSizeEx(file, &size)) return Fail("GetFileSizeEx", GetLastError());
    if (size.QuadPart > 0x7FFFFFFF)
        return Fail("the file is larger than 2 GiB", ERROR_FILE_TOO_LARGE);
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return Fail("SetFilePointerEx", GetLastError());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty()) {
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
            return Fail("ReadFile", GetLastError());
        if (got != bytes.size()) return Fail("ReadFile (the file ended early)", ERROR_HANDLE_EOF);
    }
    return bytes;
}

FileStatus MoveFileNameAside(const std::wstring& path) {
    const std::wstring aside = path + L".refused-" + std::to_wstring(GetTickCount()) + L"-" +
                               std::to_wstring(GetCurrentProcessId());
    if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) return Fail("MoveFileExW", GetLastError());
    return {};
}

FileStatus RemoveFileName(const std::wstring& path, bool laterIfBusy) {
    if (DeleteFileW(path.c_str())) return {};
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return {};
    if (!laterIfBusy) return Fail("DeleteFileW", code);
    if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return Fail("MoveFileExW (at restart)", GetLastError());
    return {};
}

}  // namespace platform
