// Clock seam: high-resolution performance counter, processor clock and the process clock.
#pragma once

#include <cstdint>

#include "base/result.h"

namespace platform {

// The raw performance counter and its frequency in counts per second. On Windows these are
// QueryPerformanceCounter/Frequency; the host edition uses the simulated machine's counter.
std::int64_t PerformanceCounter();
std::int64_t PerformanceFrequency();

// CurrentMhz of the first processor (processor power information), never 0; fails when it cannot
// be read.
[[nodiscard]] ovn::Result<std::uint32_t> ProcessorCurrentMhz();

// Wall time since the process started, in milliseconds (1000 ticks per second).
std::uint32_t ProcessMilliseconds();

// Puts the calling thread to sleep for about this long (the host edition: on its process clock).
void PauseThread(std::uint32_t milliseconds);

}  // namespace platform
