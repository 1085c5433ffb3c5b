// The simulated machine's performance counter and processor clock (lock-free).
#pragma once

#include <cstdint>

// 10,000,000 counts per second. Each read advances the counter by one count; each register write to
// a card advances it by that card's writeCost (in 1/4096 of a count).
std::int64_t SimPerformanceCounter();
std::int64_t SimPerformanceFrequency();

// The simulated processor's current clock in MHz (the machine's processorMhz, default 3000).
std::uint32_t SimProcessorMhz();

// The machine's timeScale (default 1): the host edition's process clock and pauses run that many
// times faster than wall time.
std::uint32_t SimTimeScale();

namespace sim {

// Charges one register write of a card whose writeCost is the given number of 1/4096 counts.
void AdvanceCounterForWrite(std::uint32_t writeCost);

}  // namespace sim
