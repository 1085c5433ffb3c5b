// Program-data seam: the machine-wide program-data folder, from the system's known-folder API.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Windows: the ProgramData known folder (never an environment variable). The host edition: the
// folder "ProgramData" in the simulated machine's state directory. Nothing when it cannot be had.
std::optional<std::wstring> ProgramDataDirectory();

}  // namespace platform
