// The OvnVxd kernel-driver service, as the uninstaller takes it out of the system.
#pragma once

#include <cstdint>

// What failed when the service could not be removed: the call and the system's error code.
struct tagServiceError {
    const char* call = nullptr;
    std::uint32_t code = 0;
};

// Stops the service "OvnVxd" (waiting up to waitMs for the driver to unload) and deletes it.
// True when no such service is left, or it is marked for deletion once its last handle closes.
bool StopAndDeleteDriverService(std::uint32_t waitMs, tagServiceError& error);
