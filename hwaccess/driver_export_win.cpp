// Looks up an export of the loaded driver-access library by its undecorated name.
#include <windows.h>

#include "hwaccess/driver_access.h"

namespace driver_access {

void* FindExport(void* module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace driver_access
