// The OvnVxd kernel-driver service, as the uninstaller takes it out of the system.
#pragma once

#include <cstdint>

#include "base/result.h"

// Stops the service "OvnVxd" (waiting up to waitMs for the driver to unload) and deletes it.
// Done when no such service is left, or it is marked for deletion once its last handle closes;
// otherwise the call that failed and the system's error code.
[[nodiscard]] ovn::Status StopAndDeleteDriverService(std::uint32_t waitMs);
