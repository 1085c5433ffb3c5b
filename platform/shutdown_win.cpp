// Restart on Windows: the shutdown privilege of the process token and InitiateSystemShutdownW.
#include <windows.h>

#include "payload/test_hooks.h"
#include "platform/shutdown.h"

namespace platform {

void EnableShutdownPrivilege() {
    // The token stays open for the rest of the process; nothing else would use it.
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges{};
    LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

std::uint32_t RequestShutdown(std::uint32_t timeoutSeconds, bool forceAppsClosed,
                              bool rebootAfterShutdown) {
    if (test_hooks::ShutdownSuppressed()) return 0;
    if (InitiateSystemShutdownW(nullptr, nullptr, timeoutSeconds, forceAppsClosed ? TRUE : FALSE,
                                rebootAfterShutdown ? TRUE : FALSE)) {
        return 0;
    }
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace platform
