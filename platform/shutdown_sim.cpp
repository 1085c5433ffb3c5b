// Restart of the host edition: the request is recorded in the simulated host, nothing shuts down.
#include <atomic>

#include "platform/shutdown.h"
#include "simhost/host_state.h"

namespace platform {

namespace {
// Process-wide: the privilege is the process token's, enabled once for every later request.
std::atomic<bool> shutdownPrivilegeEnabled{false};
}  // namespace

ovn::Status EnableShutdownPrivilege() {
    shutdownPrivilegeEnabled = true;
    return ovn::Ok();
}

ovn::Status RequestShutdown(std::uint32_t timeoutSeconds, bool forceAppsClosed,
                            bool rebootAfterShutdown) {
    constexpr std::uint32_t kErrorAccessDenied = 5;
    if (sim::host::RestartRefused())
        return ovn::CallError("InitiateSystemShutdownW", kErrorAccessDenied);
    sim::host::RestartRequest request;
    request.timeoutSeconds = timeoutSeconds;
    request.forceAppsClosed = forceAppsClosed;
    request.reboot = rebootAfterShutdown;
    request.privilegeEnabled = shutdownPrivilegeEnabled;
    request.acMinProcessorState = sim::host::AcMinProcessorState();
    sim::host::RecordRestart(request);
    return ovn::Ok();
}

}  // namespace platform
