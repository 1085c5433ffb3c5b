// The simulated machine's device states, kept in the host's state file so that a change waiting for
// a restart outlives the process that asked for it.
//
// In <state directory>/host.json (host_store.h), member "devices", keyed by instance ID:
//   "devices": {"<instance id>": {"disabled": bool [false], "pendingDisabled": bool [absent]}}
// "pendingDisabled" is the state the device takes at the next simulated restart (host_restart.h).
#pragma once

#include <optional>
#include <string>

namespace sim::host {

struct DeviceState {
    bool disabled = false;
    std::optional<bool> pendingDisabled;  // set while a change waits for a restart
};

DeviceState GetDeviceState(const std::string& instanceId);
// Takes effect at once and drops a change that waited for a restart.
void SetDeviceDisabled(const std::string& instanceId, bool disabled);
// Takes effect at the next simulated restart.
void SetDevicePendingDisabled(const std::string& instanceId, bool disabled);
// Every waiting change takes effect.
void ApplyPendingDeviceChanges();

}  // namespace sim::host
