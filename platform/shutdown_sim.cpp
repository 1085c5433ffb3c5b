// Restart of the host edition: the request is recorded in the simulated host, nothing shuts down.
#include <atomic>

#include "platform/shutdown.h"
#include "simhost/host_state.h"

namespace platform {

namespace {
// Process-wide: the privilege is the process token's, enabled once for every later request.
std::atomic<bool> shutdownPrivilegeEnabled{false};
}  // namespace

void EnableShutdownPrivilege() { shutdownPrivilegeEnabled = true; }

std::uint32_t RequestShutdown(std::uint32_t timeoutSeconds, bool forceAppsClosed,
                              bool rebootAfterShutdown) {
    constexpr std::uint32_t kErrorAccessDenied = 5;
    if (sim::host::RestartRefused()) return kErrorAccessDenied;
    sim::host::RestartRequest request;
    request.timeoutSeconds = timeoutSeconds;
    request.forceAppsClosed = forceAppsClosed;
    request.reboot = rebootAfterShutdown;
    request.privilegeEnabled = shutdownPrivilegeEnabled;
    request.acMinProcessorState = sim::host::AcMinProcessorState();
    sim::host::RecordRestart(request);
    return 0;
}

}  // namespace platform
