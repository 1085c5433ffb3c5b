// Storage of the simulated host's state: one JSON document in the state directory, shared by
// processes.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

namespace sim::host {

// The state directory: $OVN_SIM_STATE, or "ovn-sim-state" in the temporary directory. Read on every
// call, so a test may point each case at a directory of its own.
std::filesystem::path StateDirectory();

// The host's state file in the state directory.
std::filesystem::path StateFile();

// The whole document as last written (an empty object when there is none or it cannot be parsed).
nlohmann::json Load();

// Reads, changes and writes the document under a lock shared by all processes, so concurrent runs
// and the console-control thread do not lose each other's updates. The file is replaced atomically.
void Update(const std::function<void(nlohmann::json&)>& change);

// Removes the host's state file: the next reader sees the defaults.
void Reset();

}  // namespace sim::host
