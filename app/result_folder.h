// The folder that receives the run's result files and the state a restart must carry.
#pragma once

#include <string>

// "<ProgramData>\Orvane\OvnK740FpgaUpdater" (the host edition: under the simulated machine's state
// directory), created when missing. It is the elevated run's own working folder: nothing in it is
// read from or written through a link. Empty when it cannot be had (no known folder, a link on
// the way, or it cannot be created): the run then writes no result files.
std::wstring ResultFolder();
