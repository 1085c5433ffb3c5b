// The per-card update record shared by the run, the JTAG port, the player and the card object.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

// Where and why a play failed; filled by the player on its failing command, for the log.
struct tagXsvfFailure {
    std::int32_t commandIndex = -1;  // 0-based index of the failing command in the image
    std::uint8_t command = 0;        // its code
    std::int32_t code = 0;           // the error code
    std::uint32_t byteOffset = 0;    // offset of its command byte in the image
    std::vector<std::uint8_t> expected, captured, mask;  // TDO mismatches only
};

// One per card, owned by the update run. The worker writes percentDone and updateResult while the
// main thread reads them; both are atomics (relaxed order suffices).
struct tagDeviceUpdate {
    std::uint32_t pciHandle = 0;  // device handle for configuration access
    std::uint32_t regHandle = 0;  // mapping handle of the register aperture
    std::uint32_t gpioOut =
        0;  // cached GPIO output word; TMS/TDI collect here until the next TCK op
    std::int32_t verifyWrites = 0;
    std::uint32_t delayCount = 40;  // busy-wait iterations after each register write
    const std::uint8_t* imageCursor = nullptr;
    std::uint32_t imageSize = 0;
    std::uint32_t bytesConsumed = 0;
    std::atomic<std::uint32_t> percentDone{0};
    std::atomic<std::int32_t> updateResult{0};
    tagXsvfFailure failure;  // diagnostics of a failed play (not read by the player)
};
