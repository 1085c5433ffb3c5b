// A restart of the simulated machine: what waited for it takes effect.
#pragma once

namespace sim::host {

// Applies the device changes that wait for a restart (a display driver disabled across a restart)
// and drops every pending signal of the named events; the machine is in a new boot session.
// The logon that follows a restart (run-once entries) is not part of it.
void SimulateRestart();

}  // namespace sim::host
