// Tests of the GPIO JTAG port: pacing, pin writes, TDO, the image reader, open and close.
#include "xsvf/jtag_port.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/jtag_port_open.h"
#include "xsvf/tap.h"

namespace {

class JtagPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &CFakeGpio::Install();
        port.regHandle = 7;
        port.pciHandle = 0x0300;
        port.delayCount = 0;
    }
    void TearDown() override { CFakeGpio::Uninstall(); }

    CFakeGpio* fake = nullptr;
    tagDeviceUpdate port;
};

TEST_F(JtagPortTest, PacedWriteRepeatsTheWriteFrom16On) {
    const std::pair<std::uint32_t, std::size_t> cases[] = {
        {0, 1}, {15, 1}, {16, 2}, {40, 2}, {64, 2}};
    for (auto [delay, expectedWrites] : cases) {
        fake->ClearLog();
        port.delayCount = delay;
        writeGpio(GPIO_OUTPUT_ENABLE, 0x1234, &port);
        EXPECT_EQ(fake->writes.size(), expectedWrites) << "delayCount " << delay;
        for (const auto& w : fake->writes) EXPECT_EQ(w, (tagGpioWrite{GPIO_OUTPUT_ENABLE, 0x1234}));
    }
}

TEST_F(JtagPortTest, PacedWriteMirrorsOnlyTheOutputRegister) {
    port.gpioOut = 0x55;
    writeGpio(GPIO_SELECT, 0x99, &port);
    EXPECT_EQ(port.gpioOut, 0x55u);
    writeGpio(GPIO_OUTPUT, 0x99, &port);
    EXPECT_EQ(port.gpioOut, 0x99u);
}

TEST_F(JtagPortTest, DataPinsCollectUntilTheClockEdge) {
    setJtagPin(JTAG_TMS, true, &port);
    setJtagPin(JTAG_TDI, true, &port);
    EXPECT_TRUE(fake->writes.empty());
    EXPECT_EQ(port.gpioOut, 0x00003820u);
    setJtagPin(JTAG_TCK, true, &port);
    EXPECT_EQ(fake->Writes(GPIO_OUTPUT), (std::vector<std::uint32_t>{0x00003820, 0x20003820}));
    setJtagPin(JTAG_TDI, false, &port);
    EXPECT_EQ(port.gpioOut, 0x20000020u);
}

TEST_F(JtagPortTest, ClockWithoutEdgeWritesOnce) {
    setJtagPin(JTAG_TCK, false, &port);
    EXPECT_EQ(fake->writes.size(), 1u);
}

TEST_F(JtagPortTest, PulseMakesFourWritesAndEndsLow) {
    pulseTck(&port);
    EXPECT_EQ(fake->Writes(GPIO_OUTPUT),
              (std::vector<std::uint32_t>{0, GPIO_TCK_MASK, GPIO_TCK_MASK, 0}));
    EXPECT_EQ(port.gpioOut & GPIO_TCK_MASK, 0u);
}

TEST_F(JtagPortTest, WaitOfThreeAfterATmsTransitionMakesElevenWrites) {
    std::uint8_t state = TAP_IDLE;
    moveTap(state, TAP_SELECT_DR, &port);  // leaves TCK high
    fake->ClearLog();
    waitTck(3, &port);
    EXPECT_EQ(fake->writes.size(), 11u);
    EXPECT_EQ(fake->edges.size(), 2u);  // the first pulse's rising half finds TCK already high
}

TEST_F(JtagPortTest, TdoIsTheLowThreeInputBits) {
    fake->input = [](const CFakeGpio&) { return 0xFFFFFFFDu; };
    EXPECT_EQ(readTdo(&port), 5u);
    EXPECT_EQ(fake->inputReads, 1u);
}

TEST(ImageCursor, AdvanceCountsProgressAndStopsAtTheEnd) {
    const std::uint8_t image[3] = {0x11, 0x22, 0x33};
    tagDeviceUpdate record;
    record.image = image;
    advanceImage(record, 1, record.percentDone);
    EXPECT_EQ(record.percentDone.load(), 33u);
    advanceImage(record, 1, record.percentDone);
    EXPECT_EQ(record.percentDone.load(), 66u);
    EXPECT_EQ(record.BytesLeft(), 1u);
    // Past the end the cursor stops at the end.
    advanceImage(record, 5, record.percentDone);
    EXPECT_EQ(record.percentDone.load(), 100u);
    EXPECT_EQ(record.offset, 3u);
    EXPECT_EQ(record.BytesLeft(), 0u);
}

TEST(ImageCursor, ProgressOfImagesBeyond42MillionBytesDoesNotOverflow) {
    EXPECT_EQ(imagePercent(50000000, 100000000), 50u);  // 32-bit arithmetic would show 7
    EXPECT_EQ(imagePercent(99999999, 100000000), 99u);  // 100 only at the very end
    EXPECT_EQ(imagePercent(100000000, 100000000), 100u);
}

TEST_F(JtagPortTest, OpenLeavesThePinsAndConfigurationReady) {
    fake->config[0x04] = 0x0000;
    fake->config[0xE0] = 0x00000007;
    port.delayCount = 40;
    ::testing::internal::CaptureStdout();
    openJtagPort(&port);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(fake->registers[GPIO_SELECT], 0x20003827u);
    EXPECT_EQ(fake->registers[GPIO_OUTPUT_ENABLE], 0x20003820u);
    EXPECT_EQ(fake->registers[GPIO_OUTPUT], 0u);
    EXPECT_EQ(port.gpioOut, 0x40000020u);
    EXPECT_EQ(fake->config[0x04] & 0x2, 0x2u);
    EXPECT_EQ(fake->config[0xE0], 0x4u);
    // Steps before calibration are paced with the delay given (40: every write twice).
    std::vector<tagGpioWrite> expected = {
        {GPIO_SELECT, 0x40000000},        {GPIO_SELECT, 0x40000000},
        {GPIO_OUTPUT_ENABLE, 0x40000000}, {GPIO_OUTPUT_ENABLE, 0x40000000},
        {GPIO_OUTPUT, 0x40000000},        {GPIO_OUTPUT, 0x40000000},
        {GPIO_SELECT, 0x20003827},        {GPIO_SELECT, 0x20003827},
        {GPIO_OUTPUT_ENABLE, 0x20003820}, {GPIO_OUTPUT_ENABLE, 0x20003820},
        {GPIO_OUTPUT, 0x40000020},        {GPIO_OUTPUT, 0x40000020}};
    ASSERT_GE(fake->writes.size(), expected.size() + 256 * 4096);
    EXPECT_EQ(std::vector<tagGpioWrite>(fake->writes.begin(), fake->writes.begin() + 12), expected);
}

TEST_F(JtagPortTest, FirstClockAfterOpenRestoresTheCachedOutput) {
    ::testing::internal::CaptureStdout();
    openJtagPort(&port);
    ::testing::internal::GetCapturedStdout();
    port.delayCount = 0;
    fake->ClearLog();
    setJtagPin(JTAG_TCK, false, &port);
    EXPECT_EQ(fake->Writes(GPIO_OUTPUT), (std::vector<std::uint32_t>{0x40000020}));
}

TEST_F(JtagPortTest, CloseWithoutPulseMakesFourWrites) {
    closeJtagPort(&port, 0);
    std::vector<tagGpioWrite> expected = {{GPIO_SELECT, 0x40000000},
                                          {GPIO_OUTPUT_ENABLE, 0x40000000},
                                          {GPIO_OUTPUT, 0},
                                          {GPIO_SELECT, 0}};
    EXPECT_EQ(fake->writes, expected);
}

TEST_F(JtagPortTest, CloseWithPulseRaisesTheEndPulseLineFirst) {
    closeJtagPort(&port, 1);
    std::vector<tagGpioWrite> expected = {
        {GPIO_SELECT, 0x40},       {GPIO_OUTPUT_ENABLE, 0x40},
        {GPIO_OUTPUT, 0x40},       {GPIO_OUTPUT, 0},
        {GPIO_SELECT, 0x40000000}, {GPIO_OUTPUT_ENABLE, 0x40000000},
        {GPIO_OUTPUT, 0},          {GPIO_SELECT, 0}};
    EXPECT_EQ(fake->writes, expected);
}

// The counter read as microseconds, cut to 32 bits as the pacing compares them.
std::uint32_t CounterMicroseconds(std::int64_t counter, std::int64_t frequency) {
    const std::int64_t micros =
        (counter / frequency) * 1000000 + (counter % frequency) * 1000000 / frequency;
    return static_cast<std::uint32_t>(micros);
}

// The reading lies between the counter read just before and just after it, also across the wrap
// of 32 bits; and it moves on.
TEST(JtagClock, MicrosecondsFollowTheCounter) {
    const std::int64_t frequency = platform::PerformanceFrequency();
    ASSERT_GT(frequency, 0);
    const std::int64_t before = ticksNow();
    const auto now = static_cast<std::uint32_t>(microsecondsNow());
    const std::int64_t after = ticksNow();
    ASSERT_LE(before, after);
    const std::uint32_t low = CounterMicroseconds(before, frequency);
    const std::uint32_t high = CounterMicroseconds(after, frequency);
    EXPECT_LE(now - low, high - low) << "low " << low << " now " << now << " high " << high;

    const std::int32_t first = microsecondsNow();
    std::int32_t later = first;
    for (int i = 0; i < 100000000 && later == first; ++i) later = microsecondsNow();
    EXPECT_NE(later, first);
}

}  // namespace
