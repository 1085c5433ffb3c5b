// Tests of the XSVF interpreter on the fake card: commands, error codes, progress, diagnostics.
#include "xsvf/xsvf_player.h"

#include <gtest/gtest.h>

#include <memory>

#include "testing/xsvf_writer/xsvf_writer.h"
#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/jtag_port.h"
#include "xsvf/tap.h"

namespace {

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &CFakeGpio::Install();
        port.delayCount = 0;
    }
    void TearDown() override { CFakeGpio::Uninstall(); }

    // Plays a copy of the image in a buffer of exactly its size, so that a read past the end
    // is caught by the address sanitizer.
    std::int32_t Play(const XsvfBytes& image) {
        buffer = std::make_unique<std::uint8_t[]>(image.size());
        std::copy(image.begin(), image.end(), buffer.get());
        port.image = {buffer.get(), static_cast<std::uint32_t>(image.size())};
        port.offset = 0;
        port.percentDone = 0;
        fake->ClearLog();
        return playXsvf(&port);
    }

    // Values shifted through Shift-DR, one per DR scan (up to 64 bits each), in shift order.
    std::vector<std::uint64_t> DrScans() const {
        std::vector<std::uint64_t> scans;
        auto states = fake->StatesOfEdges(TAP_RESET);
        std::uint8_t before = TAP_RESET;
        int bit = 0;
        for (std::size_t i = 0; i < states.size(); ++i) {
            if (before == TAP_SHIFT_DR) {
                if (bit == 0) scans.push_back(0);
                if (fake->edges[i].tdi && bit < 64) scans.back() |= std::uint64_t{1} << bit;
                ++bit;
            } else {
                bit = 0;
            }
            before = states[i];
        }
        return scans;
    }

    std::uint8_t FinalState() const {
        auto states = fake->StatesOfEdges(TAP_RESET);
        return states.empty() ? TAP_RESET : states.back();
    }

    CFakeGpio* fake = nullptr;
    tagDeviceUpdate port;
    std::unique_ptr<std::uint8_t[]> buffer;
};

TEST_F(PlayerTest, CompleteAloneResetsTheTapAndReaches100) {
    EXPECT_EQ(Play(XsvfWriter().Complete().Bytes()), 0);
    EXPECT_EQ(fake->TmsOfEdges(), std::vector<bool>(6, true));
    EXPECT_EQ(port.percentDone.load(), 100u);
    EXPECT_EQ(port.failure.commandIndex, -1);
}

TEST_F(PlayerTest, BytesAfterCompleteAreNotRead) {
    EXPECT_EQ(Play(XsvfWriter().Complete().Raw({0x05, 0x05}).Bytes()), 0);
    EXPECT_EQ(port.offset, 1u);
    EXPECT_EQ(port.percentDone.load(), 33u);
}

TEST_F(PlayerTest, IllegalCommandsFailAfterBeingCounted) {
    for (std::uint8_t code : {5, 6, 24, 255}) {
        EXPECT_EQ(Play({code, 0x00}), 4) << int(code);
        EXPECT_EQ(port.percentDone.load(), 50u);
        EXPECT_EQ(port.failure.commandIndex, 0);
        EXPECT_EQ(port.failure.command, code);
        EXPECT_EQ(port.failure.code, 4);
        EXPECT_EQ(port.failure.byteOffset, 0u);
    }
}

TEST_F(PlayerTest, RunTestAllOnesActsAsZero) {
    EXPECT_EQ(
        Play(XsvfWriter().RunTest(0xFFFFFFFF).Sir(6, 0x09).SdrSize(8).Sdr(0x1).Complete().Bytes()),
        0);
    EXPECT_TRUE(fake->IdleRuns().empty());
    EXPECT_EQ(Play(XsvfWriter().RunTest(7).Sir(6, 0x09).Complete().Bytes()), 0);
    EXPECT_EQ(fake->IdleRuns(), (std::vector<int>{6}));  // 7 pulses; the first finds TCK high
}

TEST_F(PlayerTest, ShiftSizeLimits) {
    EXPECT_EQ(Play(XsvfWriter().SdrSize(16000000).Complete().Bytes()), 0);
    EXPECT_EQ(Play(XsvfWriter().SdrSize(16000001).Complete().Bytes()), 6);
    EXPECT_EQ(port.failure.command, XSDRSIZE);
    for (std::uint32_t bits : {0x80000000u, 0xFFFFFFF9u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Play(XsvfWriter().SdrSize(bits).Complete().Bytes()), 6) << bits;
        EXPECT_TRUE(fake->edges.size() == 6);  // only the reset clocked
    }
}

TEST_F(PlayerTest, SdrBeforeAnyExpectedValueCannotMismatch) {
    fake->input = [](const CFakeGpio&) { return 1u; };
    EXPECT_EQ(Play(XsvfWriter().SdrSize(8).TdoMask(0xFF).Sdr(0xAA).Complete().Bytes()), 0);
}

TEST_F(PlayerTest, BceScansCompareEveryBitWhateverTheMask) {
    XsvfWriter masked;
    masked.SdrSize(8).TdoMask(0x00).SdrTdo(0x00, 0xFF).Complete();
    EXPECT_EQ(Play(masked.Bytes()), 0);
    for (auto command : {XSDRTDOB, XSDRTDOC, XSDRTDOE}) {
        XsvfWriter w;
        w.SdrSize(8).TdoMask(0x00).Raw({command, 0x00, 0xFF}).Complete();
        EXPECT_EQ(Play(w.Bytes()), 2) << int(command);
        EXPECT_EQ(port.failure.expected, XsvfBytes{0xFF});
        EXPECT_EQ(port.failure.captured, XsvfBytes{0x00});
        EXPECT_TRUE(port.failure.mask.empty());
    }
}

TEST_F(PlayerTest, MismatchRecordsExpectedCapturedAndMask) {
    XsvfWriter w;
    w.State(1).SdrSize(16).TdoMask(0x0FF0).SdrTdo(0x0000, 0x0120).Complete();
    EXPECT_EQ(Play(w.Bytes()), 2);
    EXPECT_EQ(port.failure.commandIndex, 3);
    EXPECT_EQ(port.failure.command, XSDRTDO);
    EXPECT_EQ(port.failure.byteOffset, 2u + 5u + 3u);
    EXPECT_EQ(port.failure.expected, (XsvfBytes{0x01, 0x20}));
    EXPECT_EQ(port.failure.captured, (XsvfBytes{0x00, 0x00}));
    EXPECT_EQ(port.failure.mask, (XsvfBytes{0x0F, 0xF0}));
}

TEST_F(PlayerTest, Repeat255MakesAttemptsUntilCode3) {
    XsvfWriter w;
    w.Repeat(255).SdrSize(8).TdoMask(0xFF).SdrTdo(0x00, 0xFF).Complete();
    EXPECT_EQ(Play(w.Bytes()), 3);
    EXPECT_EQ(DrScans().size(), 256u);
}

TEST_F(PlayerTest, EndStateArguments) {
    EXPECT_EQ(Play(XsvfWriter().EndDr(2).Complete().Bytes()), 5);
    EXPECT_EQ(Play(XsvfWriter().EndIr(2).Complete().Bytes()), 5);
    EXPECT_EQ(Play(XsvfWriter().EndIr(1).Sir(6, 0x09).Complete().Bytes()), 0);
    EXPECT_EQ(FinalState(), TAP_PAUSE_IR);
    EXPECT_EQ(Play(XsvfWriter().EndDr(1).SdrSize(4).Sdr(0x5).Complete().Bytes()), 0);
    EXPECT_EQ(FinalState(), TAP_PAUSE_DR);
}

TEST_F(PlayerTest, StateTargetsThatCannotBeEnteredFailWith5) {
    EXPECT_EQ(Play(XsvfWriter().State(1).State(7).Complete().Bytes()), 5);
    EXPECT_EQ(Play(XsvfWriter().State(1).State(6).State(7).Complete().Bytes()), 0);
    for (std::uint8_t target : {16, 99, 255}) {
        EXPECT_EQ(Play(XsvfWriter().State(1).State(target).Complete().Bytes()), 5);
        EXPECT_EQ(fake->edges.size(), 7u);  // reset and the walk to Run-Test/Idle only
    }
}

TEST_F(PlayerTest, WaitTowardsAnUnreachableStateStillWaits) {
    EXPECT_EQ(Play(XsvfWriter().State(1).Wait(7, 1, 10).Complete().Bytes()), 0);
    EXPECT_EQ(fake->IdleRuns(), (std::vector<int>{9}));  // 10 pulses; the first finds TCK high
    EXPECT_EQ(Play(XsvfWriter().State(1).Wait(200, 201, 3).Complete().Bytes()), 0);
    EXPECT_EQ(fake->IdleRuns(), (std::vector<int>{2}));
}

TEST_F(PlayerTest, SdrIncWithoutIncrementsMakesOneScanAndReadsNoData) {
    XsvfWriter w;
    w.SdrSize(8).SetSdrMasks({0x01}, {0xF0}).SdrInc({0x33}, {}).Complete();
    EXPECT_EQ(Play(w.Bytes()), 0);
    EXPECT_EQ(DrScans(), (std::vector<std::uint64_t>{0x33}));
    EXPECT_EQ(port.offset, w.Bytes().size());
}

TEST_F(PlayerTest, SdrIncScattersDataOverTwoMaskBytes) {
    XsvfWriter w;
    w.SdrSize(16)
        .SetSdrMasks({0x10, 0x00}, {0x0F, 0xFF})
        .SdrInc({0x00, 0x00}, {{0x0A, 0xBC}, {0x01, 0x23}})
        .Complete();
    EXPECT_EQ(Play(w.Bytes()), 0);
    EXPECT_EQ(DrScans(), (std::vector<std::uint64_t>{0x0000, 0x1ABC, 0x2123}));
}

TEST_F(PlayerTest, TruncatedImagesStopWith4AndNeverReadPastTheEnd) {
    XsvfWriter w;
    w.Comment("x").State(1).Sir(6, 0x09).SdrSize(16).TdoMask(0xFFFF).SdrTdo(0, 0);
    w.SetSdrMasks({0, 1}, {0, 0xF0}).SdrInc({0, 0}, {{0x05}}).Wait(1, 1, 1).Complete();
    const XsvfBytes& full = w.Bytes();
    for (std::size_t size = 0; size < full.size(); ++size) {
        XsvfBytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(Play(prefix), 4) << "size " << size;
        EXPECT_LE(port.offset, size);
        EXPECT_LE(port.failure.byteOffset, size);
    }
    EXPECT_EQ(Play(full), 0);
}

TEST_F(PlayerTest, ImageEndingBeforeCompleteNamesTheMissingCommand) {
    EXPECT_EQ(Play(XsvfWriter().State(1).State(1).Bytes()), 4);
    EXPECT_EQ(port.failure.commandIndex, 2);
    EXPECT_EQ(port.failure.byteOffset, 4u);
    EXPECT_EQ(port.percentDone.load(), 100u);
}

}  // namespace
