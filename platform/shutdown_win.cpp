// Restart on Windows: the shutdown privilege of the process token and InitiateSystemShutdownW.
#include <windows.h>

#include "payload/test_hooks.h"
#include "platform/shutdown.h"

namespace platform {

ovn::Status EnableShutdownPrivilege() {
    // The token stays open for the rest of the process; nothing else would use it.
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return ovn::CallError("OpenProcessToken", GetLastError());
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        return ovn::CallError("LookupPrivilegeValueW", GetLastError());
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
        return ovn::CallError("AdjustTokenPrivileges", GetLastError());
    // It succeeds also for a token without the privilege, and then says so here.
    const DWORD adjusted = GetLastError();
    if (adjusted != ERROR_SUCCESS) return ovn::CallError("AdjustTokenPrivileges", adjusted);
    return ovn::Ok();
}

ovn::Status RequestShutdown(std::uint32_t timeoutSeconds, bool forceAppsClosed,
                            bool rebootAfterShutdown) {
    if (test_hooks::ShutdownSuppressed()) return ovn::Ok();
    if (InitiateSystemShutdownW(nullptr, nullptr, timeoutSeconds, forceAppsClosed ? TRUE : FALSE,
                                rebootAfterShutdown ? TRUE : FALSE)) {
        return ovn::Ok();
    }
    const DWORD error = GetLastError();
    return ovn::CallError("InitiateSystemShutdownW", error != 0 ? error : ERROR_GEN_FAILURE);
}

}  // namespace platform
