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
    const auto mhz = platform::ProcessorCurrentMhz();
    ASSERT_TRUE(mhz.ok()) << mhz.error().call << " failed with " << mhz.error().code;
    EXPECT_GT(*mhz, 0u);
    EXPECT_LT(*mhz, 100000u);
}

// Bracketed by the steady clock on both sides: the process clock moves at least as far as the
// spin and no further than the whole bracket, however long the machine keeps the test waiting.
TEST(Clock, ProcessMillisecondsFollowWallTime) {
    using std::chrono::steady_clock;
    const auto outerStart = steady_clock::now();
    const std::uint32_t before = platform::ProcessMilliseconds();
    const auto innerStart = steady_clock::now();
    while (steady_clock::now() - innerStart < std::chrono::milliseconds(120)) {
    }
    const std::uint32_t elapsed = platform::ProcessMilliseconds() - before;
    const auto outer =
        std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - outerStart);
    EXPECT_GE(elapsed, 119u);  // both readings are truncated to whole milliseconds
    EXPECT_LE(elapsed, static_cast<std::uint32_t>(outer.count()) + 1);
}

}  // namespace
