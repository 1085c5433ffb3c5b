// The simulated restart.
#include "simhost/host_restart.h"

#include "simhost/host_devices.h"
#include "simhost/host_state.h"

namespace sim::host {

void SimulateRestart() {
    ApplyPendingDeviceChanges();
    ResetNamedEvents();
    CountBoot();
}

}  // namespace sim::host
