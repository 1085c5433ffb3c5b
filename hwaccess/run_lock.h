// One update run at a time on the machine: a lock only administrators can hold, which goes with
// the process that holds it (its end, a crash or a power cut frees it).
#pragma once

#include <string>

#include "base/result.h"

namespace run_lock {

// Windows: a named mutex with the admin-only descriptor (hwaccess/admin_objects.h). The host
// edition: a file of this name in the simulated machine's state directory, locked with flock.
inline constexpr const char* kRunLockName = "Global\\OvnK740FpgaUpdaterRun";

enum class RunLockState {
    kHeld,         // this process holds it until it ends
    kBusy,         // another run holds it
    kSquatted,     // an object of that name that others than administrators can reach
    kUnavailable,  // it cannot be created or waited for (error says why)
};

struct tagRunLockAttempt {
    RunLockState state = RunLockState::kUnavailable;
    ovn::Error error;
};

// One attempt, without waiting. Once held, later calls of the same process find it held.
tagRunLockAttempt TryHoldRunLock();

}  // namespace run_lock
