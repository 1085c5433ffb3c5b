// Library search limited to System32 for the whole process, before any library is loaded.
#include <windows.h>

#include "components/dec740/process_setup.h"

namespace dec740 {

void RestrictLibrarySearch() {
    // Windows 7 has the call only with its 2011 loader update, so it is looked up; the libraries
    // are loaded by their full System32 path as well (system_library_win.cpp).
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                            GetProcAddress(kernel, "SetDefaultDllDirectories")))
                      : nullptr;
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace dec740
