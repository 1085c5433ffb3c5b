// Clocks of the host edition: the simulated machine's performance counter and processor clock.
#include <chrono>

#include "platform/clock.h"
#include "sim/sim_clock.h"

namespace platform {

namespace {
const auto processStart = std::chrono::steady_clock::now();
}

std::int64_t PerformanceCounter() { return SimPerformanceCounter(); }
std::int64_t PerformanceFrequency() { return SimPerformanceFrequency(); }
std::uint32_t ProcessorCurrentMhz() { return SimProcessorMhz(); }

std::uint32_t ProcessMilliseconds() {
    auto elapsed = std::chrono::steady_clock::now() - processStart;
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace platform
