// Tests of the pacing calibration: pass rates, the cap, the estimate and the measuring passes.
#include "xsvf/calibration.h"

#include <gtest/gtest.h>

#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/jtag_port.h"
#include "xsvf/play_stop.h"

namespace {

TEST(CalibrationRate, LargestRateIsCappedAt64) {
    EXPECT_EQ(calibratedDelay(100), 64u);
    EXPECT_EQ(calibratedDelay(65), 64u);
    EXPECT_EQ(calibratedDelay(64), 64u);
    EXPECT_EQ(calibratedDelay(63), 63u);
    EXPECT_EQ(calibratedDelay(0), 0u);
}

TEST(CalibrationRate, SlowPassGivesZeroAndInstantPassCountsAsOneTick) {
    EXPECT_EQ(calibrationPassRate(30000, 30001), 0u);
    EXPECT_EQ(calibrationPassRate(30000, 1000), 30u);
    EXPECT_EQ(calibrationPassRate(30000, 0), 30000u);
}

// The trace's pacing: 4096 writes over the pass's ticks at the counter's frequency.
TEST(CalibrationRate, WritesPerSecondOfAPassHoldInstantPassesAndUnknownClocks) {
    EXPECT_EQ(calibrationWritesPerSecond(4096, 10000000), 10000000u);
    EXPECT_EQ(calibrationWritesPerSecond(1, 10000000), 0xFFFFFFFFu) << "held below 2^32";
    EXPECT_EQ(calibrationWritesPerSecond(0, 1000), 4096000u) << "a pass within a tick is one tick";
    EXPECT_EQ(calibrationWritesPerSecond(8192, 0), 0u) << "no frequency, no rate";
}

TEST(CalibrationEstimate, FiveMinutesBelow30AndAtTheCap) {
    EXPECT_EQ(UpdateEstimateMinutes(0), 5);
    EXPECT_EQ(UpdateEstimateMinutes(29), 5);
    EXPECT_EQ(UpdateEstimateMinutes(30), 3);
    EXPECT_EQ(UpdateEstimateMinutes(63), 3);
    EXPECT_EQ(UpdateEstimateMinutes(64), 5);
}

// A counter that advances `step` per read: every pass then measures dt = step.
std::int64_t g_ticks = 0;
std::int64_t g_step = 1;
std::int64_t steppingTicks() { return g_ticks += g_step; }

class CalibrationPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &CFakeGpio::Install();
        fake->logWrites = false;
    }
    void TearDown() override { CFakeGpio::Uninstall(); }

    std::uint32_t Calibrate(std::int64_t dt, std::uint32_t mhz) {
        g_step = dt;
        ::testing::internal::CaptureStdout();
        calibrateGpioDelayWith(&port, &steppingTicks, mhz);
        output = ::testing::internal::GetCapturedStdout();
        return port.delayCount;
    }

    CFakeGpio* fake = nullptr;
    tagDeviceUpdate port;
    std::string output;
};

TEST_F(CalibrationPassTest, DelayIsTheRateCappedAt64) {
    EXPECT_EQ(Calibrate(10, 100), 64u);  // rate 100
    EXPECT_EQ(Calibrate(10, 64), 64u);
    EXPECT_EQ(Calibrate(10, 63), 63u);
    EXPECT_EQ(Calibrate(10, 29), 29u);
    EXPECT_EQ(Calibrate(100000, 3000), 0u);
}

TEST_F(CalibrationPassTest, UnreadableProcessorClockGivesTheSlowestPacing) {
    // Every pass rate reads 0 then; the run must not go unpaced on exactly the hosts where the
    // clock query fails.
    EXPECT_EQ(Calibrate(10, 0), 64u);
    EXPECT_EQ(Calibrate(1, 0), 64u);
    EXPECT_EQ(UpdateEstimateMinutes(port.delayCount), 5);
}

TEST_F(CalibrationPassTest, SpinnerTurnsAfterEachBackspaceAndEndsWithOne) {
    Calibrate(10, 100);
    std::string expected = " ";
    const char spinner[] = "|/-\\";
    for (int pass = 0; pass < 256; ++pass) {
        expected += '\b';
        expected += spinner[pass % 4];
    }
    expected += '\b';
    EXPECT_EQ(output, expected);
}

TEST_F(CalibrationPassTest, WritesToggleTdiDirectlyAndLeaveTdiPending) {
    fake->logWrites = true;
    port.gpioOut = 0x40000020;
    port.delayCount = 40;
    Calibrate(10, 100);
    ASSERT_EQ(fake->writes.size(), 256u * 4096u);  // no pacing, no repeated writes
    EXPECT_EQ(fake->writes[0], (tagGpioWrite{GPIO_OUTPUT, 0x3800}));
    EXPECT_EQ(fake->writes[1], (tagGpioWrite{GPIO_OUTPUT, 0}));
    EXPECT_EQ(fake->registers[GPIO_OUTPUT], 0u);
    EXPECT_EQ(port.gpioOut, 0x40003820u);
}

// Requests g_stop at the counter's read number g_stopAtRead (0: never); the settling reads come
// first, then two per pass.
CPlayStop* g_stop = nullptr;
std::int64_t g_reads = 0;
std::int64_t g_stopAtRead = 0;
std::int64_t stoppingTicks() {
    if (++g_reads == g_stopAtRead) g_stop->Request();
    return g_reads * 10;
}

TEST_F(CalibrationPassTest, AStopEndsThePassesWithTheSlowestPacingAndNoFurtherWrite) {
    fake->logWrites = true;
    for (const int passesBeforeStop : {0, 3}) {
        CPlayStop stop;
        g_stop = &stop;
        g_reads = 0;
        // Every settling read sees a new value at once, so each takes two reads.
        g_stopAtRead = passesBeforeStop == 0 ? 1 : 2 * 8192 + 2 * passesBeforeStop;
        fake->writes.clear();
        tagDeviceUpdate cut;
        cut.gpioOut = 0x40000020;
        cut.shiftStop = &stop;
        ::testing::internal::CaptureStdout();
        calibrateGpioDelayWith(&cut, &stoppingTicks, 100);
        ::testing::internal::GetCapturedStdout();
        EXPECT_TRUE(cut.shiftCut) << passesBeforeStop;
        EXPECT_EQ(cut.delayCount, CALIBRATION_DELAY_CAP) << passesBeforeStop;
        EXPECT_EQ(cut.writesPerSecond, 0u) << passesBeforeStop;
        EXPECT_EQ(fake->writes.size(), static_cast<std::size_t>(passesBeforeStop) * 4096u)
            << "TDI is not set after the cut either";
    }
}

}  // namespace
