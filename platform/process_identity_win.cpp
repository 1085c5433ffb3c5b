// Command line, WOW64 flag and own resources of the Windows edition.
#include <windows.h>

#include <vector>

#include "base/win_handles_win.h"
#include "platform/process_identity.h"

namespace platform {

std::wstring ProcessCommandLine() { return GetCommandLineW(); }

std::wstring RunAccountName() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const ovn::ScopedKernelHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<std::uint8_t> buffer(size);
    if (!GetTokenInformation(raw, TokenUser, buffer.data(), size, &size)) return {};
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use{};
    if (!LookupAccountSidW(nullptr, user->User.Sid, name, &nameLength, domain, &domainLength, &use))
        return {};
    return domainLength > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

bool RunIsElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const ovn::ScopedKernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(raw, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

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
