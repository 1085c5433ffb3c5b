// The simulated machine's performance counter and processor clock (lock-free).
#pragma once

#include <cstdint>

// 10,000,000 counts per second. Each read advances the counter by one count; each register write to
// a card advances it by that card's writeCost (in 1/4096 of a count).
std::int64_t SimPerformanceCounter();
std::int64_t SimPerformanceFrequency();

namespace sim {

// Charges one register write of a card whose writeCost is the given number of 1/4096 counts.
void AdvanceCounterForWrite(std::uint32_t writeCost);

}  // namespace sim
