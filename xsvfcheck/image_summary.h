// What an XSVF image will do to a chain, read without hardware: commands, scans, IDCODEs, timing.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "xsvf/xsvf_decode.h"
#include "xsvf/xsvf_validate.h"

// The IDCODE instruction of the K740's configuration FPGA and its IR length: a 32-bit compare
// after it names the device the image was made for.
inline constexpr std::uint32_t K740_IDCODE_INSTRUCTION = 0x09;
inline constexpr std::uint32_t K740_IR_BITS = 6;

// Register writes the port makes per TCK pulse: each edge presents the data lines, then moves TCK.
inline constexpr std::uint32_t GPIO_WRITES_PER_PULSE = 4;

struct tagExpectedIdcode {
    std::uint32_t value = 0;  // expected TDO, masked bits cleared
    std::uint32_t mask = 0;   // bits compared
    std::int32_t commandIndex = 0;
    std::uint32_t byteOffset = 0;
};

struct tagImageSummary {
    tagXsvfValidation validation;  // the verdict; the counts below stop at a fault
    std::uint32_t imageBytes = 0;
    std::array<std::uint32_t, XSVF_COMMAND_COUNT> commandCounts{};
    std::uint64_t irScans = 0, drScans = 0;
    std::uint64_t irBits = 0, drBits = 0;
    std::uint32_t largestVectorBits = 0;     // longest scan
    std::uint64_t runTestMicroseconds = 0;   // run-test waits and XWAITs, one pulse a microsecond
    std::uint64_t tckPulses = 0;             // rising TCK edges of a play whose compares match
    std::vector<tagExpectedIdcode> idcodes;  // in image order, repeats of one value dropped

    std::uint64_t GpioWrites() const { return tckPulses * GPIO_WRITES_PER_PULSE; }
    // Seconds of a play at writesPerSecond register writes (nonzero).
    double Seconds(std::uint64_t writesPerSecond) const {
        return static_cast<double>(GpioWrites()) / static_cast<double>(writesPerSecond);
    }
};

// Validates the image and, as far as it is well formed, walks it with the player's decoder and TAP
// walk, every compare taken as matching (no retry).
tagImageSummary summarizeXsvf(const std::uint8_t* image, std::uint32_t size);
