// The FPGA version read on simulated cards: the I2C engine is given back on every path.
#include <gtest/gtest.h>

#include "device/kseries.h"
#include "hwaccess/driver_access.h"
#include "sim/sim_machine.h"

namespace {

constexpr std::uint32_t kControl = 0x60D0;
constexpr std::uint32_t kPinSelection = 0x60EC;
constexpr std::uint32_t kEnableBit = 0x8;
constexpr std::uint32_t kPinsReleased = 0x7F7F;

class VersionOnSimulatedCardTest : public ::testing::Test {
protected:
    void TearDown() override {
        driver_access::ResetForTesting();
        sim::ForgetMachine();
    }

    // Reads the version of the machine's first card and leaves its record in `record`.
    std::wstring ReadVersion(const sim::MachineConfig& config) {
        driver_access::ResetForTesting();
        sim::InstallMachine(config);
        EXPECT_TRUE(OpenDriverAccess());
        sim::SimCard& card = sim::CurrentMachine().Card(0);
        const auto& c = card.Config();
        const std::uint32_t handle =
            (std::uint32_t{c.bus} << 8) | (std::uint32_t{c.device} << 3) | c.function;
        csWrite32(handle, 0x04, 0x2);  // memory decoding on, as the scan leaves it
        record.regHandle = memMap64(card.ApertureAddress(), 0x10000);
        EXPECT_NE(record.regHandle, 0u);
        record.delayCount = 0;
        return device.GetFpgaVersion(&record);
    }
    std::uint32_t Register(std::uint32_t offset) {
        std::uint32_t value = 0;
        memRead32(record.regHandle, offset, &value);
        return value;
    }

    tagDeviceUpdate record;
    CKSeries device;
};

TEST_F(VersionOnSimulatedCardTest, EngineIsReleasedAfterAGoodRead) {
    EXPECT_EQ(ReadVersion(sim::DefaultMachineConfig()), L"1.2.7");
    EXPECT_EQ(Register(kControl) & kEnableBit, 0u);
    EXPECT_EQ(Register(kPinSelection) & 0x7F7F, kPinsReleased);
}

// The display driver drives the same engine: a card whose transfers never finish must not keep it.
TEST_F(VersionOnSimulatedCardTest, EngineIsReleasedWhenTheTransfersNeverFinish) {
    sim::MachineConfig config = sim::DefaultMachineConfig();
    config.cards[0].faults.i2cNeverDone = true;
    EXPECT_EQ(ReadVersion(config), L"0.0.000");
    EXPECT_GT(sim::CurrentMachine().Card(0).I2c().StatusReads(), 0u);
    EXPECT_EQ(Register(kControl) & kEnableBit, 0u);
    EXPECT_EQ(Register(kPinSelection) & 0x7F7F, kPinsReleased);
}

}  // namespace
