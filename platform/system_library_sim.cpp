// System libraries of the host edition: there are none to load; the simulated host is linked in.
#include "platform/system_library.h"

namespace platform {

void RestrictLibrarySearchToSystemDirectory() {}

// As Windows reports a library that is not there (ERROR_MOD_NOT_FOUND).
ovn::Result<void*> SystemLibraryExport(const wchar_t*, const char*) {
    return ovn::CallError("LoadLibraryExW", 126);
}

}  // namespace platform
