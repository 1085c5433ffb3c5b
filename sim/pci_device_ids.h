// The Plug and Play identity of the simulated machine's PCI functions: instance ID, hardware IDs
// and compatible IDs as Windows forms them, so the simulated device manager lists what a real one
// would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine_config.h"

namespace sim {

struct PciIdentity {
    std::uint16_t vendor = 0, device = 0;
    std::uint32_t subsystem = 0;
    std::uint8_t revision = 0;
    std::uint32_t classCode = 0;  // base class, subclass, programming interface
    std::uint8_t bus = 0, slot = 0, function = 0;
};

struct PnpIds {
    std::string instanceId;
    std::vector<std::string> hardwareIds;    // most specific first
    std::vector<std::string> compatibleIds;  // most specific first
};

PnpIds PciPnpIds(const PciIdentity& identity);

// A K740 card's display function (vendor 1002h, device 6828h, subsystem 25401FA7h, class 030000h).
PciIdentity CardIdentity(const CardConfig& card);
PciIdentity FunctionIdentity(const FunctionConfig& function);

}  // namespace sim
