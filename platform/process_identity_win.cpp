// Command line, WOW64 flag and own resources of the Windows edition.
#include <windows.h>

#include "platform/process_identity.h"

namespace platform {

std::wstring ProcessCommandLine() { return GetCommandLineW(); }

bool RunningUnderWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::optional<std::vector<std::uint8_t>> ModuleResource(const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, RT_RCDATA);
    if (!found) return std::nullopt;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded) return std::nullopt;
    const void* bytes = LockResource(loaded);
    const DWORD size = SizeofResource(nullptr, found);
    if (!bytes || size == 0) return std::nullopt;
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    return std::vector<std::uint8_t>(first, first + size);
}

}  // namespace platform
