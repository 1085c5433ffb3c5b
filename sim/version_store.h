// The state directory's record of each card's FPGA version, so a later process sees a new version.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "sim/fpga_version.h"

namespace sim {

// OVN_SIM_STATE, or <temp>/ovn-sim-state when it is not set.
std::filesystem::path StateDirectoryFromEnvironment();

// One text file per card, "fpga-BB-DD-F.version" (hexadecimal bus and device, function digit),
// holding "major.minor.patch.build" and a newline. address is bus << 8 | device << 3 | function.
std::filesystem::path StoredVersionFile(const std::filesystem::path& directory,
                                        std::uint16_t address);
std::optional<FpgaVersion> LoadStoredVersion(const std::filesystem::path& directory,
                                             std::uint16_t address);
// Creates the directory when needed; writes a temporary file and renames it over the old one.
bool StoreVersion(const std::filesystem::path& directory, std::uint16_t address,
                  const FpgaVersion& version);

}  // namespace sim
