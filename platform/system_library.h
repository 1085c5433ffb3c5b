// System-library seam: the process's library search kept to the system directory, and exports of
// system libraries that are not loaded at start-up.
#pragma once

namespace platform {

// Keeps every later library search of the process to the system directory, so a library planted
// beside the exe or in the current directory is never picked up. First thing in main.
void RestrictLibrarySearchToSystemDirectory();

// The export `name` of the system library `library` (a file name such as L"powrprof.dll"), loaded
// from the system directory only; null when the library or the export is missing. The library stays
// loaded for the rest of the process.
void* SystemLibraryExport(const wchar_t* library, const char* name);

// The same, typed: SystemLibraryFunction<DWORD(WINAPI*)(...)>(L"x.dll", "Name").
template <typename Fn>
Fn SystemLibraryFunction(const wchar_t* library, const char* name) {
    return reinterpret_cast<Fn>(SystemLibraryExport(library, name));
}

}  // namespace platform
