// The simulated restart.
#include "sim/host_restart.h"

#include "sim/host_devices.h"
#include "sim/host_state.h"

namespace sim::host {

void SimulateRestart() {
    ApplyPendingDeviceChanges();
    ResetNamedEvents();
}

}  // namespace sim::host
