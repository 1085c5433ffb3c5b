// The simulated performance counter: one relaxed atomic, counted in 1/4096 of a count.
#include "sim/sim_clock.h"

#include <atomic>

namespace {

constexpr std::uint64_t kFraction = 4096;

// Starts well above 0 so that no caller mistakes the first readings for an unset counter.
std::atomic<std::uint64_t> subCounts{1000000 * kFraction};

}  // namespace

std::int64_t SimPerformanceCounter() {
    std::uint64_t now = subCounts.fetch_add(kFraction, std::memory_order_relaxed) + kFraction;
    return static_cast<std::int64_t>(now / kFraction);
}

std::int64_t SimPerformanceFrequency() { return 10000000; }

namespace sim {

void AdvanceCounterForWrite(std::uint32_t writeCost) {
    subCounts.fetch_add(writeCost, std::memory_order_relaxed);
}

}  // namespace sim
