// Tells whether the driver-access components can be installed here, and for which system width.
#include <windows.h>

#include "hwaccess/driver_loader.h"

namespace driver_loader {
namespace {

constexpr WORD kArchitectureItanium = 6;
constexpr WORD kArchitectureAmd64 = 9;

using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

}  // namespace

bool CheckPlatform(LoaderState& state) {
    // Looked up at run time: systems older than XP lack it, and they are all 32-bit.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    GetNativeSystemInfoFn getNativeSystemInfo = nullptr;
    if (kernel != nullptr) {
        getNativeSystemInfo = reinterpret_cast<GetNativeSystemInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    }
    if (getNativeSystemInfo == nullptr) return true;
    SYSTEM_INFO info{};
    getNativeSystemInfo(&info);
    // No component image exists for Itanium.
    if (info.wProcessorArchitecture == kArchitectureItanium) return false;
    if (info.wProcessorArchitecture == kArchitectureAmd64) state.is64BitOs = true;
    return true;
}

}  // namespace driver_loader
