// System libraries on Windows: loaded from System32 only, never by the default search that would
// also look beside the exe, where anyone can put a file of that name.
#include <windows.h>

#include <string>

#include "platform/system_library.h"

namespace platform {

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

HMODULE LoadFromSystemDirectory(const wchar_t* library) {
    HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A system without the search flags (Windows 7 before its loader update): the full path
    // names the one file meant, and its own imports are searched from there.
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(directory, length) + L'\\' + library;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void RestrictLibrarySearchToSystemDirectory() {
    // kernel32 is loaded in every process; its export is looked up because systems before the
    // loader update lack it, and a static import of it would stop the exe from starting there.
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    // Without it, at least the current directory leaves the search.
    SetDllDirectoryW(L"");
}

ovn::Result<void*> SystemLibraryExport(const wchar_t* library, const char* name) {
    // Never by module name alone: that would also accept a same-named library loaded from
    // elsewhere. A second load of the system's copy only counts up its references.
    HMODULE module = LoadFromSystemDirectory(library);
    if (module == nullptr) return ovn::CallError("LoadLibraryExW", GetLastError());
    void* address = reinterpret_cast<void*>(GetProcAddress(module, name));
    if (address == nullptr) return ovn::CallError("GetProcAddress", GetLastError());
    return address;
}

}  // namespace platform
