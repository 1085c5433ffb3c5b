// The uninstall entry of the driver-access components in the system's list of installed programs.
#include <windows.h>

#include "hwaccess/component_plan.h"
#include "hwaccess/driver_loader.h"

namespace driver_loader {
namespace {

// The 32-bit uninstaller is the one listed, so on a 64-bit system the entry belongs to the 32-bit
// view, whatever the width of the process writing it.
REGSAM ViewFlags(bool is64BitOs) { return is64BitOs ? KEY_WOW64_32KEY : 0; }

using RegDeleteKeyExAFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

}  // namespace

bool CreateUninstallEntry(bool is64BitOs, std::uint32_t* error) {
    std::uint32_t ignored = 0;
    std::uint32_t& code = error != nullptr ? *error : ignored;
    HKEY key = nullptr;
    LONG status =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | ViewFlags(is64BitOs), nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        code = static_cast<std::uint32_t>(status);
        return false;
    }
    const DWORD displayNameBytes =
        static_cast<DWORD>(std::char_traits<char>::length(kDisplayName) + 1);
    status = RegSetValueExA(key, "DisplayName", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(kDisplayName), displayNameBytes);
    if (status != ERROR_SUCCESS) {
        code = static_cast<std::uint32_t>(status);
        RegCloseKey(key);
        return false;
    }
    std::string uninstaller;
    if (!BuildSystemPath(kUninstallerName, is64BitOs, uninstaller)) {
        RegCloseKey(key);
        return false;
    }
    const LONG result = RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(uninstaller.c_str()),
                                       static_cast<DWORD>(uninstaller.size() + 1));
    RegCloseKey(key);
    code = static_cast<std::uint32_t>(result);
    return result == ERROR_SUCCESS;
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
