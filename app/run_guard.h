// The last line of defence of the update run: whatever escapes it, the host is put back.
#pragma once

#include <cstdint>
#include <functional>

// The exit code of a run that stopped on a failure of its own (memory, a thread that cannot start).
inline constexpr std::int32_t kRunStoppedExitCode = 8;

// Runs the update and returns its exit code. An exception that escapes it restores the power
// setting (unless a restart has already done so), runs the clean-up routine, reports the failure
// on the console and in the log and ends with kRunStoppedExitCode.
int RunPuttingTheHostBackOnFailure(const std::function<int()>& run);
