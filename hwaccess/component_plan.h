// Where the driver-access components go on a 32- or 64-bit system, in the order they are written.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace driver_loader {

// Which embedded image a component file is written from.
enum class ComponentImage { kDriver32, kDriver64, kLibrary32, kLibrary64, kUninstaller };

// One component file: its name under the system directory (beginning with a backslash), whether it
// lives under SysWOW64 rather than System32, whether the 32-bit process's file-system redirection
// must be off while it is written or removed, and its image.
struct tagComponentFile {
    const char* name;
    bool useWow64Dir;
    bool redirectionOff;
    ComponentImage image;
};

// The component files in installation (and removal) order: kernel driver, 32-bit library, 64-bit
// library (64-bit systems only), uninstaller.
struct tagComponentPlan {
    tagComponentFile files[4];
    std::size_t count;
};
tagComponentPlan ComponentPlan(bool is64BitOs);

inline constexpr const char* kLibraryName = "\\OvnVxd.dll";
inline constexpr const char* kUninstallerName = "\\OvnVxdUninstall.exe";
inline constexpr const char* kDriverName = "\\drivers\\OvnVxd.sys";

// Writes items 0..count-1 in order with `write`; at the first failure takes back with `undo`,
// newest first, every item this call wrote, and returns false. A half installation (a driver
// without its library, say) would otherwise be found by the next loader as if it were whole.
[[nodiscard]] bool WriteAllOrNone(std::size_t count, const std::function<bool(std::size_t)>& write,
                                  const std::function<void(std::size_t)>& undo);

// Appends the system directory ("SysWOW64" or "System32") and `name` to the Windows directory, with
// one backslash between the Windows directory and the system directory.
std::string JoinSystemPath(const std::string& windowsDirectory, bool useWow64Dir, const char* name);

// Whether the library this process can load lives under SysWOW64: only a 32-bit process on a 64-bit
// system loads it from there. A 64-bit build (used by the tests) loads the native one.
bool LibraryInWow64Dir(bool is64BitOs, bool processIs64Bit);

}  // namespace driver_loader
