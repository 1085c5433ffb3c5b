// Opens the driver-access library of the host edition: the simulated machine's, when it offers one.
#include "hwaccess/driver_access.h"
#include "sim/sim_machine.h"

namespace {

// What a system without the library says when it is loaded by its full path.
constexpr std::uint32_t kModuleNotFound = 126;

// The process's one load of the library, as a process has one module of it.
struct tagHostLoader {
    int openCount = 0;
    tagDriverAccessFailure failure;
    // Stands for the loaded module; the simulated exports are found without one, but "loaded" is
    // a non-null module.
    int simulatedModule = 0;
};
// Process-wide: a process loads the library once, as on Windows.
tagHostLoader g_loader;

bool LoadDriverAccess() {
    if (!SimDriverLibraryAvailable()) {
        g_loader.failure = {DriverAccessStep::kLoadLibrary,
                            ovn::CallError("LoadLibraryExA", kModuleNotFound), "OvnVxd.dll"};
        return false;
    }
    driver_access::SetLoadedModule(&g_loader.simulatedModule);
    return true;
}

}  // namespace

bool OpenDriverAccess() {
    // A test may have forgotten the module since; the count then starts over.
    if (g_loader.openCount != 0 && driver_access::LoadedModule() != nullptr) {
        ++g_loader.openCount;
        return true;
    }
    g_loader.openCount = 0;
    g_loader.failure = {};
    if (!LoadDriverAccess()) return false;
    g_loader.openCount = 1;
    return true;
}

const tagDriverAccessFailure& DriverAccessFailure() { return g_loader.failure; }
