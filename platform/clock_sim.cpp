// Clocks of the host edition: the simulated machine's performance counter and processor clock.
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "sim/sim_clock.h"
#include "sim/sim_machine.h"

namespace platform {

namespace {
const auto processStart = std::chrono::steady_clock::now();
}

std::int64_t PerformanceCounter() { return SimPerformanceCounter(); }
std::int64_t PerformanceFrequency() { return SimPerformanceFrequency(); }
// A simulated machine without a processor clock fails as a reading of 0 MHz does on Windows
// (ERROR_INVALID_DATA).
ovn::Result<std::uint32_t> ProcessorCurrentMhz() {
    const std::uint32_t mhz = SimProcessorMhz();
    if (mhz == 0) return ovn::CallError("CallNtPowerInformation", 13);
    return mhz;
}

// The machine's timeScale makes the clock and the pauses faster alike, so every wait of the run
// keeps its length on this clock.
std::uint32_t ProcessMilliseconds() {
    auto elapsed = std::chrono::steady_clock::now() - processStart;
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() * SimTimeScale());
}

void PauseThread(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<std::uint64_t>(milliseconds) *
                                                          1000 / SimTimeScale()));
}

}  // namespace platform
