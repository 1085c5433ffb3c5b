// The image played by the utility's own player into one simulated K740 card, with its JTAG trace.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "xsvf/device_update.h"

// Pulses beyond which a simulated play is not started: images that wait for hours would play for
// hours here too.
inline constexpr std::uint64_t SIMULATED_PLAY_MAX_PULSES = 400000000;

struct tagSimulatedPlay {
    tagXsvfFailure failure;         // code 0: the play reached XCOMPLETE
    std::string trace;              // the card's trace lines, as the simulator writes them
    std::uint64_t records = 0;      // lines in trace
    std::uint64_t risingEdges = 0;  // TCK pulses the chain saw
};

// A machine of one card at 03:00.0 whose FPGA answers idcode; nothing outside the process is
// touched. The simulated machine the process had before is forgotten.
tagSimulatedPlay playOnSimulatedCard(std::span<const std::uint8_t> image, std::uint32_t idcode);
