// The simulated restart.
#include "sim/host_restart.h"

#include "sim/host_devices.h"

namespace sim::host {

void SimulateRestart() { ApplyPendingDeviceChanges(); }

}  // namespace sim::host
