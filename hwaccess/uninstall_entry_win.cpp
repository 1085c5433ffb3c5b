// The uninstall entry of the driver-access components in the system's list of installed programs.
#include <windows.h>

#include "base/win_handles_win.h"
#include "hwaccess/component_plan.h"
#include "hwaccess/driver_loader.h"

namespace driver_loader {
namespace {

// The 32-bit uninstaller is the one listed, so on a 64-bit system the entry belongs to the 32-bit
// view, whatever the width of the process writing it.
REGSAM ViewFlags(bool is64BitOs) { return is64BitOs ? KEY_WOW64_32KEY : 0; }

using RegDeleteKeyExAFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

}  // namespace

ovn::Status CreateUninstallEntry(bool is64BitOs) {
    HKEY raw = nullptr;
    LONG status =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | ViewFlags(is64BitOs), nullptr, &raw, nullptr);
    if (status != ERROR_SUCCESS) {
        return ovn::CallError("RegCreateKeyExA", static_cast<std::uint32_t>(status));
    }
    const ovn::ScopedRegistryKey key(raw);
    const DWORD displayNameBytes =
        // NOLINTNEXTLINE(bugprone-misplaced-widening-cast): size_t and DWORD are both 32 bits here
        static_cast<DWORD>(std::char_traits<char>::length(kDisplayName) + 1);
    status = RegSetValueExA(key.get(), "DisplayName", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(kDisplayName), displayNameBytes);
    if (status != ERROR_SUCCESS) {
        return ovn::CallError("RegSetValueExA", static_cast<std::uint32_t>(status));
    }
    const ovn::Result<std::string> uninstaller = BuildSystemPath(kUninstallerName, is64BitOs);
    // Not the registry's failure: the entry's report then names no registry code.
    if (!uninstaller) return ovn::CallError(uninstaller.error().call, 0);
    status = RegSetValueExA(key.get(), "UninstallString", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(uninstaller->c_str()),
                            // NOLINTNEXTLINE(bugprone-misplaced-widening-cast): as above
                            static_cast<DWORD>(uninstaller->size() + 1));
    if (status != ERROR_SUCCESS) {
        return ovn::CallError("RegSetValueExA", static_cast<std::uint32_t>(status));
    }
    return ovn::Ok();
}

void DeleteUninstallEntry(bool is64BitOs) {
    // RegDeleteKeyExA only exists from Windows XP x64 on; without it there is only one view anyway.
    // advapi32 is imported, so it is loaded already; nothing is loaded by name here.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    RegDeleteKeyExAFn deleteEx = nullptr;
    if (advapi != nullptr) {
        deleteEx = reinterpret_cast<RegDeleteKeyExAFn>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExA")));
    }
    if (deleteEx != nullptr) {
        deleteEx(HKEY_LOCAL_MACHINE, kUninstallKey, ViewFlags(is64BitOs), 0);
    } else {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    }
}

}  // namespace driver_loader
