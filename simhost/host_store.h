// Storage of the simulated host's state: one JSON document in the state directory, shared by
// processes.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace sim::host {

// The state directory: $OVN_SIM_STATE, or "ovn-sim-state" in the temporary directory. Read on every
// call, so a test may point each case at a directory of its own.
std::filesystem::path StateDirectory();

// The host's state file in the state directory.
std::filesystem::path StateFile();

// The whole document as last written: an empty object when there is none or it is no JSON object;
// members of the wrong type (host_state_schema.h) read as absent. A damaged file is reported once
// per process on standard error, naming the file.
nlohmann::json Load();

// Reads, changes and writes the document under a lock shared by all processes, so concurrent runs
// and the console-control thread do not lose each other's updates. The file is replaced atomically.
// The lock is the system's: it goes with its holder, and a living holder keeps it. When the state
// directory cannot be created or locked, that is reported once on standard error and the change is
// dropped, as a failed system call leaves the machine as it was.
void Update(const std::function<void(nlohmann::json&)>& change);

// Removes the host's state file: the next reader sees the defaults.
void Reset();

// Called by the host edition's whole-file replacement between the new file's flush and its rename:
// counted and cut as a saved change (host_power_cut.h) under the state file's lock, so a cut there
// leaves the new file under its temporary name and the old one under its own. `file` names it in
// the cut's record.
void CountFileReplacementAndCutPower(const std::string& file);

}  // namespace sim::host
