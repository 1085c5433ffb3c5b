// Opens the driver-access library of the host edition: the simulated machine's, when it offers one.
#include "hwaccess/driver_access.h"
#include "sim/sim_machine.h"

namespace {

int g_openCount = 0;
tagDriverAccessFailure g_failure;

// What a system without the library says when it is loaded by its full path.
constexpr std::uint32_t kModuleNotFound = 126;

// Stands for the loaded module; the simulated exports are found without one, but "loaded" is a
// non-null module.
int g_simulatedModule = 0;

bool LoadDriverAccess() {
    if (!SimDriverLibraryAvailable()) {
        g_failure = {DriverAccessStep::kLoadLibrary,
                     ovn::CallError("LoadLibraryExA", kModuleNotFound), "OvnVxd.dll"};
        return false;
    }
    driver_access::SetLoadedModule(&g_simulatedModule);
    return true;
}

}  // namespace

bool OpenDriverAccess() {
    // A test may have forgotten the module since; the count then starts over.
    if (g_openCount != 0 && driver_access::LoadedModule() != nullptr) {
        ++g_openCount;
        return true;
    }
    g_openCount = 0;
    g_failure = {};
    if (!LoadDriverAccess()) return false;
    g_openCount = 1;
    return true;
}

const tagDriverAccessFailure& DriverAccessFailure() { return g_failure; }
