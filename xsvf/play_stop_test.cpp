// Stopping plays: a player leaves off between commands and inside long ones, and the wait for the
// register users ends when the last one is gone or at its limit on the given clock.
#include "xsvf/play_stop.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "testing/xsvf_writer/xsvf_writer.h"
#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/tap.h"
#include "xsvf/xsvf_player.h"

namespace {

class PlayStopTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &CFakeGpio::Install();
        record.delayCount = 0;
    }
    void TearDown() override { CFakeGpio::Uninstall(); }

    tagXsvfFailure Play(const XsvfBytes& image, CPlayStop& stop) {
        bytes = image;
        record.image = {bytes.data(), static_cast<std::uint32_t>(bytes.size())};
        record.offset = 0;
        fake->ClearLog();
        return playXsvf(record, record, record.percentDone, &stop);
    }

    // Rising edges clocked in the given state, by the state diagram from Test-Logic-Reset.
    std::size_t EdgesIn(std::uint8_t state) const {
        std::size_t count = 0;
        std::uint8_t before = TAP_RESET;
        for (std::uint8_t after : fake->StatesOfEdges(TAP_RESET)) {
            if (before == state) ++count;
            before = after;
        }
        return count;
    }

    // The stop comes with the first TDO the card is asked for.
    void StopAtTheFirstRead(CPlayStop& stop) {
        fake->input = [&stop](const CFakeGpio&) {
            stop.Request();
            return 0u;
        };
    }

    bool EnteredShiftIr() const {
        for (std::uint8_t state : fake->StatesOfEdges(TAP_RESET))
            if (state == TAP_SHIFT_IR) return true;
        return false;
    }

    CFakeGpio* fake = nullptr;
    tagDeviceUpdate record;
    XsvfBytes bytes;
};

// A clock that jumps by a fixed step on every reading, and counts them.
struct JumpingClock {
    explicit JumpingClock(std::uint32_t step) : step(step) {}
    std::function<std::uint32_t()> Now() {
        return [this] {
            ++readings;
            return now += step;
        };
    }
    std::uint32_t step;
    std::uint32_t now = 0;
    int readings = 0;
};

}  // namespace

TEST_F(PlayStopTest, APlayLeavesOffAfterTheCommandDuringWhichTheStopCame) {
    const XsvfBytes image = XsvfWriter().SdrSize(8).Sdr(0xAA).Sir(6, 0x09).Complete().Bytes();
    CPlayStop unstopped;
    EXPECT_EQ(Play(image, unstopped).code, 0);
    EXPECT_TRUE(EnteredShiftIr());

    // The stop arrives while the DR scan reads TDO: that scan ends, the IR scan never starts.
    CPlayStop stop;
    fake->input = [&stop](const CFakeGpio&) {
        stop.Request();
        return 0u;
    };
    const tagXsvfFailure stopped = Play(image, stop);
    EXPECT_EQ(stopped.code, XSVF_STOPPED);
    EXPECT_FALSE(EnteredShiftIr()) << fake->edges.size() << " edges";
    EXPECT_LT(record.percentDone.load(), 100u);

    // Requested before the play: only the reset that precedes the first command is clocked.
    fake->input = nullptr;
    EXPECT_EQ(Play(image, stop).code, XSVF_STOPPED);
    EXPECT_EQ(fake->TmsOfEdges(), std::vector<bool>(6, true));
}

TEST_F(PlayStopTest, ALongVectorOrRunTestWaitIsCutSoonAfterTheStop) {
    // 64 Ki bits in one scan: the stop at its first bit ends it after its first 512 bytes.
    const std::uint32_t bits = 8 * 8192;
    const XsvfBytes vector(bits / 8, 0x5A);
    const XsvfBytes image = XsvfWriter()
                                .SdrSize(bits)
                                .SdrTdo(vector, XsvfBytes(bits / 8, 0))
                                .Sir(6, 9)
                                .Complete()
                                .Bytes();
    CPlayStop stop;
    StopAtTheFirstRead(stop);
    const tagXsvfFailure cut = Play(image, stop);
    EXPECT_EQ(cut.code, XSVF_STOPPED);
    EXPECT_EQ(EdgesIn(TAP_SHIFT_DR), 512u * 8) << "bits shifted after the stop";
    EXPECT_FALSE(EnteredShiftIr());

    // Not stopped, the same scan is shifted whole.
    CPlayStop unstopped;
    fake->input = nullptr;
    EXPECT_EQ(Play(image, unstopped).code, 0);
    EXPECT_EQ(EdgesIn(TAP_SHIFT_DR), std::size_t{bits});

    // A run-test wait of a million pulses after a short scan: the scan ends whole, the wait is cut
    // after its first 4096 pulses.
    const XsvfBytes waiting =
        XsvfWriter().RunTest(1000000).SdrSize(8).SdrTdo(0x5A, 0).Sir(6, 9).Complete().Bytes();
    CPlayStop later;
    StopAtTheFirstRead(later);
    EXPECT_EQ(Play(waiting, later).code, XSVF_STOPPED);
    EXPECT_EQ(EdgesIn(TAP_SHIFT_DR), 8u);
    const std::vector<int> idle = fake->IdleRuns(TAP_RESET);
    ASSERT_FALSE(idle.empty());
    EXPECT_LE(idle.back(), 4096 + 2) << "pulses in Run-Test/Idle after the stop";
    EXPECT_FALSE(EnteredShiftIr());
}

TEST(PlayStop, TheWaitEndsWithTheLastUserOrAtItsLimitOnTheClock) {
    CPlayStop stop;
    JumpingClock clock(2500);
    EXPECT_TRUE(stop.WaitUntilIdle(10000, clock.Now(), 1));  // nobody counted in
    {
        CPlayStop::Use user(&stop);
        EXPECT_FALSE(user.StopRequested());
        stop.Request();
        EXPECT_TRUE(user.StopRequested());
        clock.readings = 0;
        // Start at 2500, then 5000, 7500, 10000, 12500: the limit is passed at the fifth reading.
        EXPECT_FALSE(stop.WaitUntilIdle(10000, clock.Now(), 1));
        EXPECT_EQ(clock.readings, 5);
        user.End();
        user.End();  // counted out once only
        EXPECT_TRUE(stop.WaitUntilIdle(10000, clock.Now(), 1));
    }
    EXPECT_TRUE(stop.WaitUntilIdle(10000, clock.Now(), 1));

    // A user on another thread: a clock that never moves, so only its end can end the wait.
    auto user = std::make_unique<CPlayStop::Use>(&stop);
    std::thread ender([&user] { user.reset(); });
    EXPECT_TRUE(stop.WaitUntilIdle(
        1, [] { return 0u; }, 1));
    ender.join();

    // A null stop counts nothing and is never requested.
    CPlayStop::Use none(nullptr);
    EXPECT_FALSE(none.StopRequested());
}
