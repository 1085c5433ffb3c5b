// Link-safe files on Windows: reparse points not followed, link count and final path checked, the
// replacement by MoveFileExW.
#include <windows.h>

#include "base/win_handles_win.h"
#include "platform/atomic_file.h"

namespace platform {

namespace {

using ovn::ScopedKernelHandle;

ScopedKernelHandle Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                        DWORD flags) {
    return ScopedKernelHandle(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                          flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The open handle is a plain file with one name, and it is the file the path names: a link that
// the system resolved without a reparse flag (as Wine does for a host symlink) shows in the final
// path.
bool IsThePlainFile(HANDLE handle, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (info.nNumberOfLinks > 1) return false;
    wchar_t finalPath[MAX_PATH * 4];
    DWORD length = GetFinalPathNameByHandleW(handle, finalPath, MAX_PATH * 4,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    std::wstring resolved(finalPath, length);
    if (resolved.rfind(L"\\\\?\\", 0) == 0) resolved = resolved.substr(4);
    wchar_t fullPath[MAX_PATH * 4];
    length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    return Lower(resolved) == Lower(std::wstring(fullPath, length));
}

bool Fail(FileError* error, const char* call, DWORD code) {
    if (error) *error = FileFailure(call, static_cast<std::uint32_t>(code));
    return false;
}

}  // namespace

bool ReplaceFileAtomically(const std::wstring& path, const std::string& bytes, FileError* error) {
    {
        ScopedKernelHandle existing =
            Open(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
        if (!existing) {
            const DWORD code = GetLastError();
            if (code != ERROR_FILE_NOT_FOUND) return Fail(error, "CreateFileW (existing)", code);
        } else if (!IsThePlainFile(existing.get(), path)) {
            return Fail(error, "a link or a file with several names", ERROR_ACCESS_DENIED);
        }
    }
    const std::wstring temporary = path + L".tmp" + std::to_wstring(GetCurrentProcessId());
    DeleteFileW(temporary.c_str());  // a stale one from a run that ended early
    {
        ScopedKernelHandle file =
            Open(temporary, GENERIC_WRITE | GENERIC_READ, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (!file) return Fail(error, "CreateFileW (new)", GetLastError());
        if (!IsThePlainFile(file.get(), temporary)) {
            file.reset();
            DeleteFileW(temporary.c_str());
            return Fail(error, "a redirected folder", ERROR_ACCESS_DENIED);
        }
        DWORD written = 0;
        const BOOL wrote =
            bytes.empty() || WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                       &written, nullptr);
        const DWORD code = GetLastError();
        if (!wrote || written != bytes.size() || !FlushFileBuffers(file.get())) {
            file.reset();
            DeleteFileW(temporary.c_str());
            return Fail(error, "WriteFile", code);
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        DeleteFileW(temporary.c_str());
        return Fail(error, "MoveFileExW", code);
    }
    return true;
}

std::optional<std::string> ReadFileSafely(const std::wstring& path, std::size_t maxBytes) {
    ScopedKernelHandle file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (!file || !IsThePlainFile(file.get(), path)) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > maxBytes)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
         got != bytes.size()))
        return std::nullopt;
    return bytes;
}

bool IsLinkOrReparsePoint(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::vector<std::wstring> PlainFileNames(const std::wstring& directory) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const ovn::ScopedFindHandle search(FindFirstFileW((directory + L"\\*").c_str(), &entry));
    if (!search) return names;
    do {
        if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            names.push_back(entry.cFileName);
    } while (FindNextFileW(search.get(), &entry));
    return names;
}

}  // namespace platform
