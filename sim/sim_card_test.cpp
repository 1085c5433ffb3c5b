// A card's GPIO block and JTAG chain: which edges clock the chain, TDI agreement, TDO, decoding.
#include "sim/sim_card.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

constexpr std::uint32_t kSelect = GpioBlock::kSelect, kEnable = GpioBlock::kOutputEnable,
                        kOutput = GpioBlock::kOutput, kInput = GpioBlock::kInput;
constexpr std::uint32_t kTck = GpioBlock::kTck, kTms = GpioBlock::kTms, kTdi = GpioBlock::kTdi;

class SimCardTest : public ::testing::Test {
protected:
    explicit SimCardTest(std::uint16_t command = 0x0002) : function_(0x0300) {
        config_.bus = 3;
        config_.aperture = 0x4E0000000ull;
        config_.command = command;
        PresetCardConfigSpace(config_, function_);
        card_ = std::make_unique<SimCard>(config_, function_, "", nullptr, false);
    }
    void TakePins() {
        card_->WriteRegister(kSelect, 0x20003827);
        card_->WriteRegister(kEnable, 0x20003820);
    }
    // TMS/TDI set up with TCK low, then TCK high, as the port does it.
    void Clock(bool tms, bool tdi = false) {
        std::uint32_t levels = (tms ? kTms : 0) | (tdi ? kTdi : 0);
        card_->WriteRegister(kOutput, levels);
        card_->WriteRegister(kOutput, levels | kTck);
    }

    CardConfig config_;
    PciFunction function_;
    std::unique_ptr<SimCard> card_;
};

TEST_F(SimCardTest, OnlyASelectedOutputEnabledTckClocksTheChain) {
    card_->WriteRegister(kSelect, 0x20003827);
    Clock(true);
    EXPECT_EQ(card_->Chain().RisingEdges(), 0u) << "selected but not output-enabled";
    card_->WriteRegister(kSelect, 0);
    card_->WriteRegister(kEnable, 0x20003820);
    Clock(true);
    EXPECT_EQ(card_->Chain().RisingEdges(), 0u) << "output-enabled but not selected";
    TakePins();  // TCK is high in the output register: taking the pin is itself a rising edge
    EXPECT_EQ(card_->Chain().RisingEdges(), 1u);
    Clock(true);
    Clock(true);
    EXPECT_EQ(card_->Chain().RisingEdges(), 3u);
    card_->WriteRegister(kOutput, kTck);  // no change of TCK: no edge
    EXPECT_EQ(card_->Chain().RisingEdges(), 3u);
}

TEST_F(SimCardTest, TmsFromTheOutputRegisterWalksTheTap) {
    TakePins();
    for (int i = 0; i < 5; ++i) Clock(true);
    EXPECT_EQ(card_->Chain().State(), TapState::TestLogicReset);
    Clock(false);
    Clock(true);
    Clock(true);
    Clock(false);
    Clock(false);
    EXPECT_EQ(card_->Chain().State(), TapState::ShiftIr);
}

TEST_F(SimCardTest, TdiCountsOnlyWhenItsThreePinsAgree) {
    TakePins();
    Clock(false, true);
    Clock(false, false);
    EXPECT_EQ(card_->Gpio().TdiFaults(), 0u);
    card_->WriteRegister(kOutput, 0x00000800);
    card_->WriteRegister(kOutput, 0x00000800 | kTck);
    EXPECT_EQ(card_->Gpio().TdiFaults(), 1u);
    card_->WriteRegister(kOutput, 0x00003000);  // disagreement without a rising edge is harmless
    card_->WriteRegister(kOutput, 0x00003000);
    EXPECT_EQ(card_->Gpio().TdiFaults(), 1u);
}

TEST_F(SimCardTest, TdoAppearsOnInputBitZeroAfterTheFallingEdge) {
    TakePins();
    for (int i = 0; i < 5; ++i) Clock(true);
    for (bool tms : {false, true, true, false, false}) Clock(tms);  // into Shift-IR
    EXPECT_EQ(card_->ReadRegister(kInput) & 1, 0u) << "still the level before the capture";
    card_->WriteRegister(kOutput, 0);  // falling edge
    EXPECT_EQ(card_->ReadRegister(kInput) & 7, 1u) << "bit 0 of the captured 01";
    Clock(false);
    card_->WriteRegister(kOutput, 0);
    EXPECT_EQ(card_->ReadRegister(kInput) & 1, 0u) << "bit 1 of the captured 01";
}

TEST_F(SimCardTest, StuckTdoAndDeadChainFaults) {
    CardFaults faults;
    faults.chain.tdoStuck = 1;
    card_->SetFaults(faults);
    TakePins();
    EXPECT_EQ(card_->ReadRegister(kInput) & 1, 1u);
    faults.chain = {};
    faults.chain.failAfterBits = 3;
    card_->SetFaults(faults);
    for (int i = 0; i < 5; ++i) Clock(true);
    for (bool tms : {false, true, false, false}) Clock(tms);  // into Shift-DR
    for (int i = 0; i < 3; ++i) Clock(false, true);
    EXPECT_TRUE(card_->Chain().Failed());
    Clock(true);
    EXPECT_EQ(card_->Chain().State(), TapState::ShiftDr) << "a dead chain ignores TMS";
    card_->WriteRegister(kOutput, 0);
    EXPECT_EQ(card_->ReadRegister(kInput) & 1, 0u);
}

TEST_F(SimCardTest, EndPulseAndAuxiliaryLineAreRecorded) {
    card_->WriteRegister(kSelect, 0x40000000);
    card_->WriteRegister(kEnable, 0x40000000);
    card_->WriteRegister(kOutput, 0x40000000);
    EXPECT_TRUE(card_->Gpio().AuxLevel());
    card_->WriteRegister(kSelect, 0x40);
    card_->WriteRegister(kEnable, 0x40);
    card_->WriteRegister(kOutput, 0x40);
    card_->WriteRegister(kOutput, 0);
    EXPECT_EQ(card_->Gpio().EndPulses(), 1u);
    EXPECT_FALSE(card_->Gpio().AuxLevel());
    EXPECT_EQ(card_->Gpio().AuxChanges(), 2u);
}

TEST_F(SimCardTest, OrdinaryRegistersReadBackAndInputIgnoresWrites) {
    card_->WriteRegister(0x1234, 0xCAFEF00D);
    EXPECT_EQ(card_->ReadRegister(0x1234), 0xCAFEF00Du);
    card_->WriteRegister(kInput, 0xFFFFFFFF);
    EXPECT_EQ(card_->ReadRegister(kInput), 0u);
}

class SimCardWithoutDecodingTest : public SimCardTest {
protected:
    SimCardWithoutDecodingTest() : SimCardTest(0x0000) {}
};

TEST_F(SimCardWithoutDecodingTest, RegistersAnswerOnlyWithMemorySpaceEnabled) {
    card_->WriteRegister(0x1234, 5);
    EXPECT_EQ(card_->ReadRegister(0x1234), 0xFFFFFFFFu);
    std::uint32_t command = 0x2;
    ASSERT_TRUE(function_.Write(0x04, &command, 4));
    EXPECT_EQ(card_->ReadRegister(0x1234), 0u) << "the write before enabling was lost";
}

}  // namespace
}  // namespace sim
