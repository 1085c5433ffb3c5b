// System-library seam: the process's library search kept to the system directory, and exports of
// system libraries that are not loaded at start-up.
#pragma once

#include "base/result.h"

namespace platform {

// Keeps every later library search of the process to the system directory, so a library planted
// beside the exe or in the current directory is never picked up. First thing in main. Where the
// system lacks the call that does so, the current directory at least leaves the search; there is
// nothing further to fall back on, so it reports nothing.
void RestrictLibrarySearchToSystemDirectory();

// The export `name` of the system library `library` (a file name such as L"powrprof.dll"), loaded
// from the system directory only; fails when the library or the export is missing. The library
// stays loaded for the rest of the process.
[[nodiscard]] ovn::Result<void*> SystemLibraryExport(const wchar_t* library, const char* name);

// The same, typed: SystemLibraryFunction<DWORD(WINAPI*)(...)>(L"x.dll", "Name").
template <typename Fn>
[[nodiscard]] ovn::Result<Fn> SystemLibraryFunction(const wchar_t* library, const char* name) {
    auto address = SystemLibraryExport(library, name);
    if (!address) return address.error();
    return reinterpret_cast<Fn>(*address);
}

}  // namespace platform
