// Shutdown seam: the shutdown privilege and the request to restart the machine.
#pragma once

#include <cstdint>

namespace platform {

// Enables SeShutdownPrivilege in the process token; failures are silent.
void EnableShutdownPrivilege();

// Asks for a shutdown of the local machine without a message; 0 when the request was taken, else
// the system's error code.
std::uint32_t RequestShutdown(std::uint32_t timeoutSeconds, bool forceAppsClosed,
                              bool rebootAfterShutdown);

}  // namespace platform
