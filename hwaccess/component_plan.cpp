// Where the driver-access components go on a 32- or 64-bit system, in the order they are written.
#include "hwaccess/component_plan.h"

namespace driver_loader {

tagComponentPlan ComponentPlan(bool is64BitOs) {
    tagComponentPlan plan{};
    // The kernel driver always goes to the native System32\drivers, whatever the process width.
    plan.files[plan.count++] = {kDriverName, false, is64BitOs,
                                is64BitOs ? ComponentImage::kDriver64 : ComponentImage::kDriver32};
    plan.files[plan.count++] = {kLibraryName, is64BitOs, is64BitOs, ComponentImage::kLibrary32};
    if (is64BitOs) {
        plan.files[plan.count++] = {kLibraryName, false, true, ComponentImage::kLibrary64};
    }
    plan.files[plan.count++] = {kUninstallerName, is64BitOs, is64BitOs,
                                ComponentImage::kUninstaller};
    return plan;
}

bool WriteAllOrNone(std::size_t count, const std::function<bool(std::size_t)>& write,
                    const std::function<void(std::size_t)>& undo) {
    for (std::size_t i = 0; i < count; ++i) {
        if (write(i)) continue;
        while (i > 0) undo(--i);
        return false;
    }
    return true;
}

std::string JoinSystemPath(const std::string& windowsDirectory, bool useWow64Dir,
                           const char* name) {
    std::string path = windowsDirectory;
    if (path.empty() || path.back() != '\\') path += '\\';
    path += useWow64Dir ? "SysWOW64" : "System32";
    path += name;
    return path;
}

bool LibraryInWow64Dir(bool is64BitOs, bool processIs64Bit) { return is64BitOs && !processIs64Bit; }

}  // namespace driver_loader
