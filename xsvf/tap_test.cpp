// Tests of the TAP walk, bit shifting, scans with retries and run-test waits.
#include "xsvf/tap.h"

#include <gtest/gtest.h>

#include <vector>

#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/jtag_port.h"

namespace {

class TapTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &CFakeGpio::Install();
        port.delayCount = 0;
        for (auto* b : {&tdiBuf, &capBuf, &expBuf, &maskBuf}) b->assign(64, 0);
        tdi.data = tdiBuf.data();
        captured.data = capBuf.data();
        expected.data = expBuf.data();
        mask.data = maskBuf.data();
    }
    void TearDown() override { CFakeGpio::Uninstall(); }

    std::vector<bool> Walk(std::uint8_t from, std::uint8_t target, std::int32_t* result = nullptr) {
        std::uint8_t state = from;
        fake->ClearLog();
        std::int32_t r = moveTap(state, target, &port);
        if (result != nullptr) *result = r;
        if (r == 0) {
            EXPECT_EQ(state, target);
        }
        return fake->TmsOfEdges();
    }

    CFakeGpio* fake = nullptr;
    tagDeviceUpdate port;
    std::vector<std::uint8_t> tdiBuf, capBuf, expBuf, maskBuf;
    tagBitVector tdi, captured, expected, mask;
};

using Tms = std::vector<bool>;

TEST_F(TapTest, ResetAlwaysClocksSixTimesWithTmsHigh) {
    EXPECT_EQ(Walk(TAP_RESET, TAP_RESET), Tms(6, true));
    EXPECT_EQ(Walk(TAP_SHIFT_DR, TAP_RESET), Tms(6, true));
}

TEST_F(TapTest, WalksClockTheExpectedTmsSequences) {
    EXPECT_EQ(Walk(TAP_IDLE, TAP_SHIFT_DR), (Tms{1, 0, 0}));
    EXPECT_EQ(Walk(TAP_IDLE, TAP_SHIFT_IR), (Tms{1, 1, 0, 0}));
    EXPECT_EQ(Walk(TAP_PAUSE_DR, TAP_PAUSE_DR), (Tms{1, 1, 1, 0, 1, 0}));
    EXPECT_EQ(Walk(TAP_SHIFT_IR, TAP_IDLE), (Tms{1, 1, 0}));
    EXPECT_EQ(Walk(TAP_PAUSE_DR, TAP_EXIT2_DR), (Tms{1}));
    EXPECT_EQ(Walk(TAP_IDLE, TAP_IDLE), Tms{});
    // A DR target from an IR state passes through Capture-IR, Exit1-IR and Update-IR.
    EXPECT_EQ(Walk(TAP_SELECT_IR, TAP_SHIFT_DR), (Tms{0, 1, 1, 1, 0, 0}));
}

TEST_F(TapTest, EveryLegalWalkEndsInItsTargetByTheStateDiagram) {
    for (std::uint8_t from = 1; from <= 15; ++from) {
        for (std::uint8_t target = 0; target <= 15; ++target) {
            if (!tapMoveAllowed(from, target)) continue;
            Walk(from, target);
            auto states = fake->StatesOfEdges(from);
            std::uint8_t reached = states.empty() ? from : states.back();
            EXPECT_EQ(reached, target) << int(from) << " -> " << int(target);
        }
    }
}

TEST_F(TapTest, UnreachableTargetsFailWithoutClocking) {
    std::int32_t result = 0;
    EXPECT_EQ(Walk(TAP_IDLE, TAP_EXIT2_DR, &result), Tms{});
    EXPECT_EQ(result, 5);
    EXPECT_EQ(Walk(TAP_PAUSE_DR, TAP_EXIT2_IR, &result), Tms{});
    EXPECT_EQ(result, 5);
    for (int target : {16, 200, 255}) {
        EXPECT_EQ(Walk(TAP_IDLE, static_cast<std::uint8_t>(target), &result), Tms{});
        EXPECT_EQ(result, 5);
    }
    EXPECT_TRUE(fake->writes.empty());
}

TEST_F(TapTest, TwelveBitShiftSendsTheLastByteFirstAndCaptures) {
    tdiBuf[0] = 0x0A;
    tdiBuf[1] = 0xBC;
    tdi.length = 2;
    // TDO echoes the TDI presented on the previous rising edge (a one-bit register), 1 at first.
    fake->input = [](const CFakeGpio& f) {
        return f.edges.empty() ? 1u : static_cast<std::uint32_t>(f.edges.back().tdi);
    };
    std::uint8_t state = TAP_IDLE;
    moveTap(state, TAP_SHIFT_DR, &port);  // leaves TCK high, as every walk does
    fake->ClearLog();
    shiftBits(12, tdi, &captured, true, &port);
    std::vector<bool> sent;
    for (const auto& e : fake->edges) sent.push_back(e.tdi);
    EXPECT_EQ(sent, (std::vector<bool>{0, 0, 1, 1, 1, 1, 0, 1, 0, 1, 0, 1}));
    Tms tms(11, false);
    tms.push_back(true);  // the last bit leaves Shift-DR
    EXPECT_EQ(fake->TmsOfEdges(), tms);
    EXPECT_EQ(captured.length, 2);
    // Captured bits lag one behind: 1, then BC's bits 0..6, then BC bit 7 and 0A bits 0..2.
    EXPECT_EQ(capBuf[1], static_cast<std::uint8_t>(((0xBC << 1) | 1) & 0xFF));
    EXPECT_EQ(capBuf[0], static_cast<std::uint8_t>(((0x0A << 1) | 1) & 0x0F));
    EXPECT_EQ(fake->inputReads, 12u);
    EXPECT_EQ(fake->writes.size(), 48u);  // four paced writes per bit
}

class ScanTest : public TapTest {
protected:
    std::int32_t FailingScan(std::uint32_t runTest, std::uint8_t maxRepeat) {
        tdi.length = 1;
        expected.length = 1;
        expBuf[0] = 0x01;  // TDO stays 0: never matches
        maskBuf[0] = 0xFF;
        std::uint8_t state = TAP_IDLE;
        fake->ClearLog();
        return shiftTap(state, TAP_SHIFT_DR, 8, tdi, &captured, &expected, &mask, TAP_IDLE, runTest,
                        maxRepeat, &port);
    }
    int Attempts() const {
        int scans = 0;
        auto states = fake->StatesOfEdges(TAP_IDLE);
        for (std::size_t i = 0; i + 1 < states.size(); ++i) {
            if (states[i] == TAP_CAPTURE_DR && states[i + 1] == TAP_SHIFT_DR) ++scans;
        }
        return scans;
    }
    int PauseVisits() const {
        int visits = 0;
        for (auto s : fake->StatesOfEdges(TAP_IDLE)) visits += s == TAP_PAUSE_DR;
        return visits;
    }
};

TEST_F(ScanTest, RetriesTakeThePauseDetourAndWaitLonger) {
    EXPECT_EQ(FailingScan(1000, 3), 3);
    EXPECT_EQ(Attempts(), 4);
    EXPECT_EQ(PauseVisits(), 3);
    // Pulses of 1250, 1562, 1952 and 1952: the first pulse of each wait finds TCK high after the
    // walk, so the chain sees one clock fewer in Run-Test/Idle.
    EXPECT_EQ(fake->IdleRuns(TAP_IDLE), (std::vector<int>{1249, 1561, 1951, 1951}));
    std::size_t shifted = 0;
    for (auto s : fake->StatesOfEdges(TAP_IDLE)) shifted += s == TAP_SHIFT_DR || s == TAP_EXIT1_DR;
    EXPECT_GE(shifted, 4u * 8u);
}

TEST_F(ScanTest, RetriesWithoutRunTestTimeSkipTheDetour) {
    EXPECT_EQ(FailingScan(0, 3), 3);
    EXPECT_EQ(Attempts(), 4);
    EXPECT_EQ(PauseVisits(), 0);
    EXPECT_TRUE(fake->IdleRuns(TAP_IDLE).empty());
}

TEST_F(ScanTest, NoRetriesGiveCode2) {
    EXPECT_EQ(FailingScan(0, 0), 2);
    EXPECT_EQ(Attempts(), 1);
}

TEST_F(ScanTest, MaxRepeat255Makes256Attempts) {
    EXPECT_EQ(FailingScan(0, 255), 3);
    EXPECT_EQ(Attempts(), 256);
}

TEST_F(ScanTest, ZeroBitsIsAPlainRunTestWait) {
    std::uint8_t state = TAP_SHIFT_IR;
    EXPECT_EQ(
        shiftTap(state, TAP_SHIFT_DR, 0, tdi, &captured, &expected, &mask, TAP_IDLE, 5, 0, &port),
        0);
    EXPECT_EQ(state, TAP_IDLE);
    EXPECT_EQ(fake->IdleRuns(TAP_SHIFT_IR), (std::vector<int>{4}));  // 5 pulses, the first no edge
}

TEST_F(ScanTest, LongerRunTestTimeSaturates) {
    EXPECT_EQ(longerRunTestTime(1000), 1250u);
    EXPECT_EQ(longerRunTestTime(0xCCCCCCCD), 0xFFFFFFFFu);  // would wrap to 0 in 32 bits
}

}  // namespace
