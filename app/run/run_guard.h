// The last line of defence of the update run: whatever escapes it, the host is put back.
#pragma once

#include <cstdint>
#include <functional>

#include "app/console/exit_codes.h"

class CHostServices;

// Runs the update and returns its exit code. An exception that escapes it restores the power
// setting through `host` (the run's host services, null while it has none; unless a restart has
// already restored it), brings the display back, runs the clean-up routine and `release` (which
// frees what the run holds), reports the failure on the console and in the log and ends with
// kRunStoppedExitCode.
int RunPuttingTheHostBackOnFailure(const std::function<int()>& run,
                                   const std::function<CHostServices*()>& host,
                                   const std::function<void()>& release = {});
