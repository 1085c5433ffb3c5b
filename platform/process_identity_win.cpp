// Command line, WOW64 flag and own resources of the Windows edition.
#include <windows.h>

#include <vector>

#include "base/win_handles_win.h"
#include "platform/process_identity.h"

namespace platform {

std::wstring ProcessCommandLine() { return GetCommandLineW(); }

ovn::Result<std::wstring> RunAccountName() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return ovn::CallError("OpenProcessToken", GetLastError());
    const ovn::ScopedKernelHandle token(raw);
    DWORD size = 0;
    // Asks for the size only: it fails by design and says how much to give.
    if (!GetTokenInformation(raw, TokenUser, nullptr, 0, &size) && size == 0)
        return ovn::CallError("GetTokenInformation", GetLastError());
    std::vector<std::uint8_t> buffer(size);
    if (!GetTokenInformation(raw, TokenUser, buffer.data(), size, &size))
        return ovn::CallError("GetTokenInformation", GetLastError());
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use{};
    if (!LookupAccountSidW(nullptr, user->User.Sid, name, &nameLength, domain, &domainLength, &use))
        return ovn::CallError("LookupAccountSidW", GetLastError());
    return domainLength > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

ovn::Result<bool> RunIsElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return ovn::CallError("OpenProcessToken", GetLastError());
    const ovn::ScopedKernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(raw, TokenElevation, &elevation, sizeof elevation, &size))
        return ovn::CallError("GetTokenInformation", GetLastError());
    return elevation.TokenIsElevated != 0;
}

ovn::Result<bool> RunningUnderWow64() {
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64))
        return ovn::CallError("IsWow64Process", GetLastError());
    return wow64 != FALSE;
}

ovn::Result<std::vector<std::uint8_t>> ModuleResource(const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, RT_RCDATA);
    if (!found) return ovn::CallError("FindResourceW", GetLastError());
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded) return ovn::CallError("LoadResource", GetLastError());
    const void* bytes = LockResource(loaded);
    if (!bytes) return ovn::CallError("LockResource", GetLastError());
    const DWORD size = SizeofResource(nullptr, found);
    if (size == 0) return ovn::CallError("SizeofResource", GetLastError());
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    return std::vector<std::uint8_t>(first, first + size);
}

}  // namespace platform
