// Environment of the Windows edition: variables, directories, module and temporary paths, text
// files.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace platform {

std::optional<std::wstring> GetEnvironmentWide(const wchar_t* name, std::size_t maxChars) {
    std::vector<wchar_t> buffer(maxChars, L'\0');
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
        // Zero is also the length of a variable that is set to an empty value.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::wstring();
    }
    // A value that does not fit: the call reports the size it needs and copies nothing.
    if (length >= buffer.size()) return std::nullopt;
    return std::wstring(buffer.data(), length);
}

FileStatus CreateDirectoryWide(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return {};
    const DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS) return FileFailure("CreateDirectoryW", code);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FileFailure("GetFileAttributesW", GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return FileFailure("CreateDirectoryW", code);
    return {};
}

ovn::Result<std::wstring> ModuleFileName(std::size_t maxChars) {
    std::vector<wchar_t> buffer(maxChars, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return ovn::CallError("GetModuleFileNameW", GetLastError());
    // A name that fills the buffer was cut short.
    if (length >= buffer.size())
        return ovn::CallError("GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER);
    return std::wstring(buffer.data(), length);
}

wchar_t PathSeparator() { return L'\\'; }

std::string NarrowPath(const std::wstring& path) {
    if (path.empty()) return {};
    // The CRT's narrow file functions take the ANSI code page.
    int size = WideCharToMultiByte(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), nullptr,
                                   0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), narrow.data(), size,
                        nullptr, nullptr);
    return narrow;
}

}  // namespace platform
