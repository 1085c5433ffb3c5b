// Calibration of the port's pacing: how fast the host writes the card's GPIO relative to the CPU.
#pragma once

#include <cstdint>

#include "xsvf/device_update.h"

// Largest pacing count calibration gives.
inline constexpr std::uint32_t CALIBRATION_DELAY_CAP = 64;

// Measures and stores delayCount for the card (0..64); leaves TDI set in gpioOut. Main thread only;
// prints the spinner to the narrow console. A stop requested on the port's shiftStop ends it
// between passes with shiftCut set, the cap as the pacing and no further register write.
void calibrateGpioDelay(tagJtagPort* port);

// The same with the clock and the processor clock given, so the measurement can be driven. A
// processor clock of 0 (it could not be read) gives the cap, the slowest pacing.
void calibrateGpioDelayWith(tagJtagPort* port, std::int64_t (*ticks)(), std::uint32_t currentMhz);

// Rate of one pass: processor clock × 10 over the counter ticks of its 4096 writes. A pass that
// fits in one tick is counted as one tick: writes that fast call for the longest pacing, not none.
std::uint32_t calibrationPassRate(std::uint32_t scale, std::uint32_t dt);

// Register writes per second of a pass of 4096 writes that took passTicks of a counter running at
// frequency (a pass within one tick counts as one tick); 0 when the frequency is unknown.
std::uint32_t calibrationWritesPerSecond(std::uint64_t passTicks, std::int64_t frequency);

// delayCount for the largest pass rate.
std::uint32_t calibratedDelay(std::uint32_t maxRate);

// Update time estimate in minutes for the largest calibrated delay of all cards.
std::int32_t UpdateEstimateMinutes(std::uint32_t maxDelay);
