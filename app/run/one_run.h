// One update run at a time: the run lock is taken before anything changes the machine, and a
// second start is refused at once (a logon entry's start waits for it a little first).
#pragma once

#include <cstdint>
#include <functional>

#include "hwaccess/run_lock.h"

// How long a start by a logon entry waits for a run that still holds the lock (the run that asked
// for the restart may still be ending while the logon begins).
inline constexpr std::uint32_t kLogonRunLockWaitMilliseconds = 30000;
inline constexpr std::uint32_t kRunLockPollMilliseconds = 250;

// The seams of the wait: one attempt at the lock, the clock it is measured on and the pause
// between attempts. Tests give a clock that jumps and a pause that does not sleep.
struct tagRunLockWait {
    std::function<run_lock::tagRunLockAttempt()> attempt = run_lock::TryHoldRunLock;
    std::function<std::uint32_t()> nowMilliseconds;
    std::function<void(std::uint32_t)> pause;
};
tagRunLockWait ProcessRunLockWait();

// Takes the lock; while another run holds it, tries again for up to waitMilliseconds (0: once).
// A squatted or unavailable lock is not waited for.
run_lock::tagRunLockAttempt TakeRunLock(const tagRunLockWait& wait, std::uint32_t waitMilliseconds);

// The console and log lines of a start the lock refuses.
void ReportRunLockRefusal(const run_lock::tagRunLockAttempt& attempt);
