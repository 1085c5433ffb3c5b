// The PCI scan on simulated machines: matching, configuration writes, aperture mapping, unmapping.
#include "hwaccess/pci_scan.h"

#include <gtest/gtest.h>

#include <vector>

#include "hwaccess/driver_access.h"
#include "sim/ovnvxd_exports.h"
#include "sim/sim_machine.h"

namespace {

// The simulator's library, with the mapping calls and configuration accesses observed on the way.
std::vector<std::uint64_t> g_mappedAddresses;
std::vector<std::uint32_t> g_unmapped;
int g_configAccesses = 0;

void* FindSimExport(void*, const char* name) { return SimFindExport(name); }

class CWatchedSimLibrary final : public CDriverAccess {
public:
    CWatchedSimLibrary() { library_.SetModule(this); }

    int CsRead32(std::uint32_t device, std::uint32_t offset, std::uint32_t* value) override {
        ++g_configAccesses;
        return library_.CsRead32(device, offset, value);
    }
    int CsWrite32(std::uint32_t device, std::uint32_t offset, std::uint32_t value) override {
        ++g_configAccesses;
        return library_.CsWrite32(device, offset, value);
    }
    int MemRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value) override {
        return library_.MemRead32(mapping, offset, value);
    }
    int MemWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value) override {
        return library_.MemWrite32(mapping, offset, value);
    }
    std::uint32_t MemMap64(std::uint64_t physicalAddress, std::uint32_t length) override {
        g_mappedAddresses.push_back(physicalAddress);
        return library_.MemMap64(physicalAddress, length);
    }
    int MemUnmap(std::uint32_t mapping) override {
        g_unmapped.push_back(mapping);
        return library_.MemUnmap(mapping);
    }
    int PciScanBus(PciScanCallback callback, void* context) override {
        return library_.PciScanBus(callback, context);
    }

private:
    CLibraryDriverAccess library_{&FindSimExport};
};

sim::CardConfig Card(std::uint8_t bus, sim::BarKind bar, std::uint64_t aperture) {
    sim::CardConfig card;
    card.bus = bus;
    card.bar = bar;
    card.aperture = aperture;
    card.barFlags = bar == sim::BarKind::Bar64 ? 0x04 : 0x00;
    return card;
}

class PciScanTest : public ::testing::Test {
protected:
    sim::SimMachine& Install(const sim::MachineConfig& config) {
        sim::SimMachine& machine = sim::InstallMachine(config);
        driver_access::Install(&library_);
        return machine;
    }
    void SetUp() override {
        g_mappedAddresses.clear();
        g_unmapped.clear();
        g_configAccesses = 0;
    }
    void TearDown() override { driver_access::ResetForTesting(); }

    CWatchedSimLibrary library_;
};

TEST_F(PciScanTest, DefaultMachineGivesItsTwoCardsInEnumerationOrder) {
    sim::SimMachine& machine = Install(sim::DefaultMachineConfig());
    CPciScan scan;
    ASSERT_TRUE(scan.Scan());
    ASSERT_EQ(scan.cardCount, 2u);
    ASSERT_EQ(scan.devices->count, 2);
    const tagPciInfo& first = scan.devices->items[0];
    const tagPciInfo& second = scan.devices->items[1];
    EXPECT_EQ(first.hDevice & 0xFFFF, 0x0300u);
    EXPECT_EQ(first.busNumber, 3u);
    EXPECT_EQ(first.deviceNumber, 0u);
    EXPECT_EQ(first.functionNumber, 0u);
    EXPECT_EQ(first.index, 0u);
    EXPECT_EQ(first.vendorId, 0x1002);
    EXPECT_EQ(first.deviceId, 0x6828);
    EXPECT_EQ(first.subsystem, 0x25401FA7u);
    EXPECT_NE(first.hRegisters, 0u);
    EXPECT_EQ(second.busNumber, 4u);
    EXPECT_EQ(second.index, 1u);
    EXPECT_NE(second.hRegisters, 0u);
    EXPECT_EQ(g_mappedAddresses,
              (std::vector<std::uint64_t>{0x00000004E0000000ull, 0xF7E00000ull}));

    // Memory decoding on, bits 1-0 of dword 0xE0 cleared.
    sim::PciFunction& function = machine.Card(0).Function();
    EXPECT_NE(function.Dword(0x04) & 0x2, 0u);
    EXPECT_EQ(function.Dword(0xE0) & 0x3, 0u);
    EXPECT_EQ(machine.LiveMappings(), 2u);
}

TEST_F(PciScanTest, DestructionUnmapsEveryRecordedAperture) {
    sim::SimMachine& machine = Install(sim::DefaultMachineConfig());
    {
        CPciScan scan;
        scan.Scan();
        ASSERT_EQ(machine.LiveMappings(), 2u);
    }
    EXPECT_EQ(g_unmapped.size(), 2u);
    EXPECT_EQ(machine.LiveMappings(), 0u);
}

TEST_F(PciScanTest, EmptiedListUnmapsNothing) {
    sim::SimMachine& machine = Install(sim::DefaultMachineConfig());
    {
        CPciScan scan;
        scan.Scan();
        scan.devices->SetCount(0);  // as the update run's clean-up does
    }
    EXPECT_TRUE(g_unmapped.empty());
    EXPECT_EQ(machine.LiveMappings(), 2u);
}

TEST_F(PciScanTest, MachinesWithZeroOneAndThreeCards) {
    sim::MachineConfig none = sim::DefaultMachineConfig();
    none.cards.clear();
    Install(none);
    CPciScan empty;
    EXPECT_FALSE(empty.Scan());
    EXPECT_EQ(empty.cardCount, 0u);
    ASSERT_NE(empty.devices, nullptr);

    sim::MachineConfig one;
    one.cards = {Card(0x0A, sim::BarKind::Bar32, 0xE0000000ull)};
    Install(one);
    CPciScan single;
    EXPECT_TRUE(single.Scan());
    EXPECT_EQ(single.cardCount, 1u);
    EXPECT_EQ(single.devices->items[0].busNumber, 0x0Au);

    sim::MachineConfig three;
    three.cards = {Card(0x02, sim::BarKind::Bar64, 0x1000000000ull),
                   Card(0x06, sim::BarKind::Bar32, 0xD0000000ull),
                   Card(0x09, sim::BarKind::Bar64, 0x800000000ull)};
    three.cards[2].device = 0x1F;
    three.cards[2].function = 5;
    Install(three);
    CPciScan triple;
    EXPECT_TRUE(triple.Scan());
    ASSERT_EQ(triple.cardCount, 3u);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(triple.devices->items[i].index, i);
    EXPECT_EQ(triple.devices->items[2].deviceNumber, 0x1Fu);
    EXPECT_EQ(triple.devices->items[2].functionNumber, 5u);
}

TEST_F(PciScanTest, ApertureAddressTakesTheFullBarAndClearsTheFlagByte) {
    sim::MachineConfig config;
    config.cards = {Card(0x03, sim::BarKind::Bar64, 0x0000001230000000ull),
                    Card(0x04, sim::BarKind::Bar32, 0xC0000000ull)};
    config.cards[0].barFlags = 0x0C;  // 64-bit, prefetchable
    config.cards[1].barFlags = 0xF8;  // type flags and more in the low byte
    Install(config);
    CPciScan scan;
    scan.Scan();
    EXPECT_EQ(g_mappedAddresses,
              (std::vector<std::uint64_t>{0x0000001230000000ull, 0xC0000000ull}));
    EXPECT_NE(scan.devices->items[0].hRegisters, 0u);
    EXPECT_NE(scan.devices->items[1].hRegisters, 0u);
}

TEST_F(PciScanTest, FailedMappingStillRecordsTheCard) {
    sim::MachineConfig config = sim::DefaultMachineConfig();
    config.cards[0].faults.mapFails = true;
    Install(config);
    {
        CPciScan scan;
        ASSERT_TRUE(scan.Scan());
        ASSERT_EQ(scan.cardCount, 2u);
        EXPECT_EQ(scan.devices->items[0].hRegisters, 0u);
        EXPECT_EQ(scan.devices->items[0].busNumber, 3u);
        EXPECT_NE(scan.devices->items[1].hRegisters, 0u);
    }
    EXPECT_EQ(g_unmapped.size(), 1u);  // only the live mapping
}

// An aperture BAR that names no memory window is recorded like a failed mapping, without ever
// asking the library to map it.
TEST_F(PciScanTest, ApertureThatIsNoMemoryWindowIsNeverMapped) {
    sim::MachineConfig config;
    config.cards = {Card(0x02, sim::BarKind::Bar32, 0xE0000000ull),    // I/O BAR
                    Card(0x03, sim::BarKind::Bar32, 0xE1000000ull),    // reserved memory type
                    Card(0x04, sim::BarKind::Bar32, 0),                // unassigned 32-bit BAR
                    Card(0x05, sim::BarKind::Bar64, 0),                // unassigned 64-bit BAR
                    Card(0x06, sim::BarKind::Bar64, 0x100000000ull)};  // upper dword alone: usable
    config.cards[0].barFlags = 0x01;
    config.cards[1].barFlags = 0x06;
    sim::SimMachine& machine = Install(config);
    {
        CPciScan scan;
        ASSERT_TRUE(scan.Scan());
        ASSERT_EQ(scan.cardCount, 5u);
        for (std::uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(scan.devices->items[i].hRegisters, 0u) << "card " << i;
            EXPECT_EQ(scan.devices->items[i].busNumber, i + 2);
        }
        EXPECT_NE(scan.devices->items[4].hRegisters, 0u);
        EXPECT_EQ(g_mappedAddresses, (std::vector<std::uint64_t>{0x100000000ull}));
        EXPECT_EQ(machine.LiveMappings(), 1u);
    }
    EXPECT_EQ(g_unmapped.size(), 1u);
}

TEST_F(PciScanTest, OtherFunctionsSeeOnlyTheThreeIdentityReads) {
    sim::SimMachine& machine = Install(sim::DefaultMachineConfig());
    CPciScan scan;
    scan.Scan();
    for (sim::PciFunction* function :
         {machine.FindFunction(0x05, 0, 0), machine.FindFunction(0x03, 0, 1),
          machine.FindFunction(0x00, 1, 0)}) {
        ASSERT_NE(function, nullptr);
        const std::vector<sim::ConfigAccess> accesses = function->Accesses();
        ASSERT_EQ(accesses.size(), 3u);
        EXPECT_EQ(accesses[0].offset, 0x00u);
        EXPECT_EQ(accesses[1].offset, 0x02u);
        EXPECT_EQ(accesses[2].offset, 0x2Cu);
        for (const sim::ConfigAccess& access : accesses) {
            EXPECT_FALSE(access.write);
            EXPECT_EQ(access.size, 4u);
        }
    }
}

TEST_F(PciScanTest, CallbackWithoutListTouchesNothing) {
    Install(sim::DefaultMachineConfig());
    EXPECT_EQ(CPciScan::OnPciDevice(0x0300, nullptr), 0);
    EXPECT_EQ(g_configAccesses, 0);
}

TEST_F(PciScanTest, ScanBeforeTheLibraryIsOpenFindsNothing) {
    sim::InstallMachine(sim::DefaultMachineConfig());
    CPciScan scan;
    EXPECT_FALSE(scan.Scan());
    EXPECT_EQ(scan.cardCount, 0u);
}

}  // namespace
