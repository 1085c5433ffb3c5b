// System libraries of the host edition: there are none to load; the simulated host is linked in.
#include "platform/system_library.h"

namespace platform {

void RestrictLibrarySearchToSystemDirectory() {}

void* SystemLibraryExport(const wchar_t*, const char*) { return nullptr; }

}  // namespace platform
