// Clock seam: the counter moves forward at its frequency, the processor clock and process time.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(Clock, CounterAdvancesAndFrequencyIsSet) {
    EXPECT_GT(platform::PerformanceFrequency(), 0);
    std::int64_t first = platform::PerformanceCounter();
    std::int64_t later = first;
    for (int i = 0; i < 1000000 && later == first; ++i) later = platform::PerformanceCounter();
    EXPECT_GT(later, first);
}

TEST(Clock, ProcessorClockIsKnown) {
    std::uint32_t mhz = platform::ProcessorCurrentMhz();
    EXPECT_GT(mhz, 0u);
    EXPECT_LT(mhz, 100000u);
}

TEST(Clock, ProcessMillisecondsFollowWallTime) {
    std::uint32_t before = platform::ProcessMilliseconds();
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(120)) {
    }
    std::uint32_t elapsed = platform::ProcessMilliseconds() - before;
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 2000u);
}

}  // namespace
