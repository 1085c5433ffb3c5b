// The types that the members of the simulated host's state file must have (host_state.h,
// host_devices.h).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace sim::host {

// Removes every member (and array element) whose type is not the one the state needs, so that it
// reads as absent. Returns "" when nothing was removed, else where the first one was and why, for
// example "power.acMinProcessorState: expected an object". Unknown members are kept.
std::string DropMistypedMembers(nlohmann::json& document);

}  // namespace sim::host
