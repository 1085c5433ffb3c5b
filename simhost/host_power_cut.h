// A power cut at a chosen saved change of the simulated host, for the tests that prove recovery.
#pragma once

#include <filesystem>
#include <string>

namespace sim::host {

// Called by the store after each change of the host's state file has been written, with the file
// lock held. When $OVN_SIM_CUT_AT_SAVE is N, the changes made by every process that carries the
// variable are counted in <state directory>/saves; at the Nth the whole process group is killed at
// once (SIGKILL), as a power cut would stop it. The count and the program that made the change are
// left in <state directory>/cut, followed by `what` when given. Does nothing where the variable is
// unset, and on Windows.
void CountSaveAndCutPower(const std::filesystem::path& stateDirectory,
                          const std::string& what = {});

}  // namespace sim::host
