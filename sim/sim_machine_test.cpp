// The machine through the six exports: PCI bus, configuration registers, mappings, clock,
// persistence.
#include "sim/sim_machine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "sim/chain_driver_testutil.h"
#include "sim/mapping_table.h"
#include "sim/ovnvxd_exports.h"
#include "sim/sim_clock.h"
#include "sim/version_store.h"

namespace sim {
namespace {

struct Exports {
    CsReadWriteFn csReadWrite = reinterpret_cast<CsReadWriteFn>(SimFindExport("csReadWrite"));
    MemReadFn memRead = reinterpret_cast<MemReadFn>(SimFindExport("memRead"));
    MemWriteFn memWrite = reinterpret_cast<MemWriteFn>(SimFindExport("memWrite"));
    MemMap64Fn memMap64 = reinterpret_cast<MemMap64Fn>(SimFindExport("memMap64"));
    MemUnmapFn memUnmap = reinterpret_cast<MemUnmapFn>(SimFindExport("memUnmap"));
    PciScanBusFn pciScanBus = reinterpret_cast<PciScanBusFn>(SimFindExport("pciScanBus"));

    std::uint32_t Cs(std::uint32_t device, std::uint32_t offset) {
        std::uint32_t value = 0;
        csReadWrite(device, offset, &value, 4, 0);
        return value;
    }
    void CsWrite(std::uint32_t device, std::uint32_t offset, std::uint32_t value) {
        csReadWrite(device, offset, &value, 4, 1);
    }
    std::uint32_t Map(std::uint64_t address, std::uint32_t length = 0x10000) {
        return memMap64(static_cast<std::uint32_t>(address),
                        static_cast<std::uint32_t>(address >> 32), length, 0);
    }
};

class SimMachineTest : public ::testing::Test {
protected:
    void SetUp() override { InstallMachine(DefaultMachineConfig()); }
    void TearDown() override { ForgetMachine(); }
    Exports x_;
};

int Collect(std::uint32_t device, void* context) {
    static_cast<std::vector<std::uint32_t>*>(context)->push_back(device);
    return 0;
}

TEST_F(SimMachineTest, ExportLookupKnowsExactlyTheSixNames) {
    for (const char* name :
         {"csReadWrite", "memRead", "memWrite", "memMap64", "memUnmap", "pciScanBus"}) {
        EXPECT_NE(SimFindExport(name), nullptr) << name;
    }
    EXPECT_EQ(SimFindExport("memread"), nullptr);
    EXPECT_EQ(SimFindExport("pciScanBus2"), nullptr);
}

TEST_F(SimMachineTest, DefaultMachineEnumeratesEveryFunctionInAddressOrder) {
    std::vector<std::uint32_t> seen;
    EXPECT_EQ(x_.pciScanBus(&Collect, &seen), 1);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{0x0008, 0x0300, 0x0301, 0x0400, 0x0500}));
    EXPECT_EQ(x_.Cs(0x0300, 0x00), 0x68281002u);
    EXPECT_EQ(x_.Cs(0x0300, 0x2C), 0x25401FA7u);
    EXPECT_EQ(x_.Cs(0x0500, 0x00), 0x68281002u);
    EXPECT_NE(x_.Cs(0x0500, 0x2C), 0x25401FA7u);
    EXPECT_EQ(CurrentMachine().FindCard(3, 0, 0)->Version(), (FpgaVersion{1, 2, 7, 0}));
    EXPECT_EQ(CurrentMachine().FindCard(4, 0, 0)->Version(), (FpgaVersion{1, 3, 0, 0}));
}

TEST_F(SimMachineTest, BarsDescribeBothKindsOfAperture) {
    std::uint32_t bar0 = x_.Cs(0x0300, 0x10);
    EXPECT_EQ(bar0 & 6, 4u) << "64-bit BAR0";
    EXPECT_EQ(x_.Cs(0x0300, 0x18), 0xE0000004u);
    EXPECT_EQ(x_.Cs(0x0300, 0x1C), 0x00000004u);
    EXPECT_NE(x_.Cs(0x0400, 0x10) & 6, 4u) << "32-bit BAR0";
    EXPECT_EQ(x_.Cs(0x0400, 0x14), 0xF7E00000u);
}

TEST_F(SimMachineTest, ConfigurationRegistersKeepOnlyTheirWritableBits) {
    EXPECT_EQ(x_.Cs(0x0300, 0x04) & 2, 0u);
    x_.CsWrite(0x0300, 0x04, x_.Cs(0x0300, 0x04) | 2);
    EXPECT_EQ(x_.Cs(0x0300, 0x04), 0x00000002u);
    x_.CsWrite(0x0300, 0x04, 0xFFFFFFFF);
    EXPECT_EQ(x_.Cs(0x0300, 0x04), 0x00000407u);
    EXPECT_EQ(x_.Cs(0x0300, 0xE0), 0x00000003u);
    x_.CsWrite(0x0300, 0xE0, 0xFFFFFFFC);
    EXPECT_EQ(x_.Cs(0x0300, 0xE0), 0x00000000u);
    x_.CsWrite(0x0300, 0x00, 0);
    EXPECT_EQ(x_.Cs(0x0300, 0x00), 0x68281002u);
    // A 4-byte read at 0x02: device ID, then the command register's low half.
    EXPECT_EQ(x_.Cs(0x0300, 0x02), 0x04076828u);
}

TEST_F(SimMachineTest, ConfigurationAccessesAreCountedAndBadOnesRefused) {
    PciFunction* other = CurrentMachine().FindFunction(5, 0, 0);
    ASSERT_NE(other, nullptr);
    other->ClearAccesses();
    x_.Cs(0x0500, 0x00);
    x_.Cs(0x0500, 0x02);
    x_.Cs(0x0500, 0x2C);
    EXPECT_EQ(other->Reads(), 3u);
    EXPECT_EQ(other->Writes(), 0u);
    std::uint32_t value = 0x12345678;
    EXPECT_EQ(x_.csReadWrite(0x0700, 0, &value, 4, 0), 0) << "no function there";
    EXPECT_EQ(x_.csReadWrite(0x0300, 0, &value, 4, 2), 0) << "no such direction";
    EXPECT_EQ(x_.csReadWrite(0x0300, 0xFE, &value, 4, 0), 0) << "past the configuration space";
    EXPECT_EQ(x_.csReadWrite(0x0300, 0, &value, 3, 0), 0) << "odd size";
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(SimMachineTest, MappingReachesTheGrantedPagesOfTheCardAndNothingElse) {
    std::uint32_t map = x_.Map(0x4E0000000ull);
    ASSERT_NE(map, 0u);
    x_.CsWrite(0x0300, 0x04, 2);
    std::uint32_t value = 0xABCD;
    EXPECT_EQ(x_.memWrite(map, 0x6FFC, &value, 4), 1) << "the last dword of the I2C page";
    value = 0;
    EXPECT_EQ(x_.memRead(map, 0x6FFC, &value, 4), 1);
    EXPECT_EQ(value, 0xABCDu);
    EXPECT_EQ(x_.memRead(map, 0x1798, &value, 4), 1);
    EXPECT_EQ(x_.memRead(map, 0x60D0, &value, 4), 1);
    const std::uint64_t refusedBefore = ProcessMappings().refusedAccesses.load();
    for (std::uint32_t offset : {0x0000u, 0x0FFCu, 0x2000u, 0x5FFCu, 0x7000u, 0xFFFCu, 0x10000u}) {
        EXPECT_EQ(x_.memRead(map, offset, &value, 4), 0) << "not granted: " << std::hex << offset;
        EXPECT_EQ(x_.memWrite(map, offset, &value, 4), 0) << "not granted: " << std::hex << offset;
    }
    EXPECT_EQ(x_.memRead(map, 0x1796, &value, 4), 0) << "unaligned";
    EXPECT_EQ(x_.memRead(map, 0x1798, &value, 2), 0) << "not a dword";
    EXPECT_EQ(x_.memRead(map + 1, 0x1798, &value, 4), 0) << "no such mapping";
    EXPECT_EQ(x_.memRead(0, 0x1798, &value, 4), 0);
    EXPECT_EQ(ProcessMappings().refusedAccesses.load() - refusedBefore, 18u)
        << "every refusal is counted";
    EXPECT_EQ(x_.Map(0x4E0010000ull), 0u) << "just past the aperture";
    EXPECT_EQ(x_.Map(0x4E0001000ull), 0u) << "inside the aperture: windows start at its base";
    EXPECT_EQ(x_.Map(0x4E0000000ull, 0x1FFF), 0u) << "holds no granted page whole";
    EXPECT_EQ(x_.Map(0xE0000000ull), 0u) << "the low half alone is no card";
    EXPECT_EQ(x_.Map(0xF7E00000ull) != 0, true) << "the 32-bit card";
    // A window that holds only the GPIO page reaches only that.
    const std::uint32_t gpioOnly = x_.Map(0x4E0000000ull, 0x2000);
    ASSERT_NE(gpioOnly, 0u);
    EXPECT_EQ(x_.memRead(gpioOnly, 0x17A4, &value, 4), 1);
    EXPECT_EQ(x_.memRead(gpioOnly, 0x60D0, &value, 4), 0);
    EXPECT_EQ(x_.memUnmap(map), 1);
    EXPECT_EQ(x_.memRead(map, 0x1798, &value, 4), 0) << "unmapped";
    EXPECT_EQ(x_.memUnmap(map), 0);
}

TEST(SimMachineFaults, MapFailsFaultRefusesTheCardsAperture) {
    MachineConfig config = DefaultMachineConfig();
    config.cards[1].faults.mapFails = true;
    InstallMachine(config);
    Exports x;
    EXPECT_NE(x.Map(config.cards[0].aperture), 0u);
    EXPECT_EQ(x.Map(config.cards[1].aperture), 0u);
    ForgetMachine();
}

TEST(SimClock, ReadsAdvanceByOneAndWritesByTheirCost) {
    MachineConfig config = DefaultMachineConfig();
    config.cards[0].writeCost = 5;
    config.cards[0].command = 2;
    config.processorMhz = 2400;
    InstallMachine(config);
    Exports x;
    std::uint32_t map = x.Map(config.cards[0].aperture);
    EXPECT_EQ(SimPerformanceFrequency(), 10000000);
    EXPECT_EQ(SimProcessorMhz(), 2400u);
    std::int64_t a = SimPerformanceCounter();
    EXPECT_EQ(SimPerformanceCounter() - a, 1);
    std::int64_t t0 = SimPerformanceCounter();
    for (std::uint32_t k = 0; k < 4096; ++k) {
        std::uint32_t v = (k & 1) ? 0 : 0x3800;
        x.memWrite(map, 0x179C, &v, 4);
    }
    EXPECT_EQ(SimPerformanceCounter() - t0, 6) << "writeCost + 1 per calibration pass";
    ForgetMachine();
}

TEST(SimPersistence, AStartedConfigurationIsSeenByTheNextMachine) {
    auto dir = std::filesystem::temp_directory_path() /
               ("ovn-sim-test-persistence-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    MachineOptions options;
    options.stateDirectory = dir;
    SimMachine& machine = InstallMachine(DefaultMachineConfig(), options);
    SimCard* card = machine.FindCard(4, 0, 0);
    testing::ChainDriver jtag(card->Chain());
    jtag.ResetToIdle();
    jtag.ScanIr(6, FpgaModel::kJprogram);
    jtag.ScanIr(6, FpgaModel::kCfgIn);
    jtag.ScanDrWords(testing::MakeBitstream({1, 4, 2, 0}, {1, 2, 3, 4}));
    jtag.ScanIr(6, FpgaModel::kJstart);
    jtag.Idle(16);
    EXPECT_EQ(card->Version(), (FpgaVersion{1, 4, 2, 0}));
    EXPECT_TRUE(std::filesystem::exists(StoredVersionFile(dir, 0x0400)));

    SimMachine& later = InstallMachine(DefaultMachineConfig(), options);
    EXPECT_EQ(later.FindCard(4, 0, 0)->Version(), (FpgaVersion{1, 4, 2, 0}));
    EXPECT_EQ(later.FindCard(4, 0, 0)->Fpga()->RunningVersion(), 0x01040200u);
    EXPECT_EQ(later.FindCard(3, 0, 0)->Version(), (FpgaVersion{1, 2, 7, 0}));
    ForgetMachine();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sim
