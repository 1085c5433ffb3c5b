// Looks up an export of the simulated driver-access library by its exported name.
#include "hwaccess/driver_access.h"
#include "sim/ovnvxd_exports.h"

namespace driver_access {

void* FindExport(void* module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return SimFindExport(name);
}

}  // namespace driver_access
