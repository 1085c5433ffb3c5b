// Loading from System32 by the loader's own search restriction.
#include "components/dec740/system_library_win.h"

#include <string>

#include "components/dec740/setupapi_calls.h"

namespace dec740 {

ovn::Result<std::shared_ptr<SystemLibrary>> SystemLibrary::Load(const wchar_t* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER) {
        // A Windows 7 without the loader update knows no search flags: its full System32 path
        // then names the one file to load.
        wchar_t directory[MAX_PATH];
        UINT length = GetSystemDirectoryW(directory, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return ovn::CallError(calls::kGetSystemDirectory, GetLastError());
        }
        std::wstring path = std::wstring(directory) + L"\\" + name;
        module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (!module) return ovn::CallError(calls::kLoadLibrary, GetLastError());
    return std::shared_ptr<SystemLibrary>(new SystemLibrary(ovn::ScopedModule(module)));
}

}  // namespace dec740
