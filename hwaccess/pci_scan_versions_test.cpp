// Cards found by the real scan report their FPGA versions over the simulated I2C engine.
#include <gtest/gtest.h>

#include <string>

#include "device/kseries.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/pci_scan.h"
#include "sim/sim_machine.h"

namespace {

class CardVersionTest : public ::testing::Test {
protected:
    sim::SimMachine& Open(const sim::MachineConfig& config) {
        driver_access::ResetForTesting();
        sim::SimMachine& machine = sim::InstallMachine(config);
        EXPECT_TRUE(OpenDriverAccess());
        EXPECT_TRUE(scan.Scan());
        return machine;
    }

    std::wstring VersionOf(std::uint32_t card) {
        const tagPciInfo& info = scan.devices->items[card];
        CKSeries* device = CreateDevice(&info, CCmdLine(), static_cast<std::int32_t>(card));
        tagDeviceUpdate record;
        record.pciHandle = info.hDevice;
        record.regHandle = info.hRegisters;
        std::wstring version = device->GetFpgaVersion(&record);
        delete device;
        return version;
    }

    void TearDown() override { driver_access::ResetForTesting(); }

    CPciScan scan;
};

TEST_F(CardVersionTest, DefaultMachineReportsBothVersions) {
    Open(sim::DefaultMachineConfig());
    ASSERT_EQ(scan.cardCount, 2u);
    EXPECT_EQ(VersionOf(0), L"1.2.7");
    EXPECT_EQ(VersionOf(1), L"1.3.0");
}

TEST_F(CardVersionTest, BusSeesTheWriteThenTheReadOfRegisterFour) {
    sim::SimMachine& machine = Open(sim::DefaultMachineConfig());
    machine.Card(0).I2c().ClearBusLog();
    VersionOf(0);
    EXPECT_EQ(machine.Card(0).I2c().BusLogText(),
              "S D0+ 04+ 00+ 00+ 00+ 00+ P "
              "S D0+ 04+ Sr D1+ <00+ <07+ <02+ <01- P");
}

TEST_F(CardVersionTest, EngineFaultGivesZeroVersionOnThatCardOnly) {
    sim::MachineConfig config = sim::DefaultMachineConfig();
    config.cards[0].faults.i2cNeverDone = true;
    sim::SimMachine& machine = Open(config);
    EXPECT_EQ(VersionOf(0), L"0.0.000");
    // The write and then the read each give up on their address phase.
    EXPECT_EQ(machine.Card(0).I2c().StatusReads(), 20000u);
    EXPECT_EQ(VersionOf(1), L"1.3.0");
}

}  // namespace
