// Shutdown seam: the shutdown privilege and the request to restart the machine.
#pragma once

#include <cstdint>

#include "base/result.h"

namespace platform {

// Enables SeShutdownPrivilege in the process token; fails when the token cannot be opened or does
// not hold the privilege.
[[nodiscard]] ovn::Status EnableShutdownPrivilege();

// Asks for a shutdown of the local machine without a message. The error's code is the system's
// (never 0).
[[nodiscard]] ovn::Status RequestShutdown(std::uint32_t timeoutSeconds, bool forceAppsClosed,
                                          bool rebootAfterShutdown);

}  // namespace platform
