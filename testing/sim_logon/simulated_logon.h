// A restart of the simulated machine followed by a logon: what waits for the restart takes effect,
// then the run-once entries run one after another and are deleted, as the platform does: before
// the run, or after it for a value whose name begins with '!'.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct tagLogonStreams {
    std::string input;   // file for the started programs' standard input; empty: /dev/null
    std::string output;  // file receiving their standard output and error; empty: inherited
};

struct tagRunOnceResult {
    std::wstring commandLine;
    int exitCode = -1;  // -1 when the program could not be found or started
};

// The 64-bit view's entries first, then the 32-bit view's; each waited for before the next.
std::vector<tagRunOnceResult> SimulateRestartAndLogon(const tagLogonStreams& streams);
