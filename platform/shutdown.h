// Shutdown seam: the shutdown privilege and the request to restart the machine.
#pragma once

#include <cstdint>

namespace platform {

// Enables SeShutdownPrivilege in the process token; failures are silent.
void EnableShutdownPrivilege();

// Asks for a shutdown of the local machine without a message; failures are silent.
void RequestShutdown(std::uint32_t timeoutSeconds, bool forceAppsClosed, bool rebootAfterShutdown);

}  // namespace platform
