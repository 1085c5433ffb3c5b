// OvnVxd.dll's client over the driver core: enumeration, configuration reads, register access
// through the mappings, release on close, two threads on two mappings, and the utility's own scan.
#include "components/ovnvxd/ovnvxd_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "components/ovnvxd/ovnvxd_direct_transport.h"
#include "components/ovnvxd/sim_hal_testutil.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/fake_driver_access_testutil.h"
#include "hwaccess/pci_scan.h"

namespace {

class DriverClientTest : public ::testing::Test {
protected:
    std::uint32_t MapAperture(int card) {
        const std::uint64_t address = m.Aperture(card);
        return client.Map(static_cast<std::uint32_t>(address),
                          static_cast<std::uint32_t>(address >> 32), 0x10000);
    }
    static std::uint32_t At(const std::uint8_t* bytes, std::uint32_t offset) {
        std::uint32_t value;
        std::memcpy(&value, bytes + offset, 4);
        return value;
    }

    tagDriverTestMachine m;
    COvnVxdDirectTransport transport{m.hal.Hal()};
    COvnVxdClient client{transport};
};

int OVNVXD_CALL Collect(std::uint32_t device, void* context) {
    static_cast<std::vector<std::uint32_t>*>(context)->push_back(device);
    return 0;
}

TEST_F(DriverClientTest, ScanReportsExactlyTheSimulatedFunctions) {
    std::vector<std::uint32_t> devices;
    EXPECT_EQ(client.ScanBus(&Collect, &devices), 1);
    EXPECT_EQ(devices, (std::vector<std::uint32_t>{0x0008, 0x0300, 0x0301, 0x0400, 0x0500}));
    EXPECT_EQ(client.ScanBus(nullptr, &devices), 0);
}

TEST_F(DriverClientTest, ConfigurationReadsAtEveryOffsetTheUtilityUses) {
    for (std::uint32_t device : {tagDriverTestMachine::kCard0, tagDriverTestMachine::kCard1,
                                 tagDriverTestMachine::kOtherMaker}) {
        sim::PciFunction* f = m.machine.FindFunction(device >> 8, (device >> 3) & 31, device & 7);
        for (std::uint32_t offset :
             {0x00u, 0x02u, 0x04u, 0x08u, 0x10u, 0x14u, 0x18u, 0x1Cu, 0x2Cu, 0xE0u}) {
            std::uint32_t value = 0, expected = 0;
            ASSERT_TRUE(f->Read(offset, &expected, 4));
            EXPECT_EQ(client.ConfigAccess(device, offset, &value, 4, 0), 1);
            EXPECT_EQ(value, expected) << std::hex << device << " @" << offset;
        }
    }
    std::uint32_t value = 0x12345678;
    EXPECT_EQ(client.ConfigAccess(0x0700, 0, &value, 4, 0), 0);
    EXPECT_EQ(value, 0x12345678u) << "a failed read leaves its destination alone";
    EXPECT_NE(client.LastError(), 0u);
}

TEST_F(DriverClientTest, RegisterAccessReachesTheGrantedPagesOnly) {
    const std::uint32_t first = MapAperture(0), second = MapAperture(1);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    ASSERT_NE(first, second);
    EXPECT_EQ(m.hal.LiveMappings(), 4) << "two pages per window";
    const std::uint32_t value = 0xA5C30F01u;
    EXPECT_EQ(client.Write(first, 0x179C, &value, 4), 1);
    EXPECT_EQ(At(m.aperture[0], 0x179C), value);
    EXPECT_EQ(At(m.aperture[1], 0x179C), 0u);
    EXPECT_EQ(client.Write(second, 0x60EC, &value, 4), 1);
    EXPECT_EQ(At(m.aperture[1], 0x60EC), value);
    const std::uint32_t planted = 0x00C0FFEEu;
    std::memcpy(m.aperture[1] + 0x6FFC, &planted, 4);
    std::uint32_t read = 0;
    EXPECT_EQ(client.Read(second, 0x6FFC, &read, 4), 1) << "the last dword of a granted page";
    EXPECT_EQ(read, planted);

    // Every other page of the window, unaligned, other sizes, unknown handles: refused, counted,
    // and the memory behind stays as it was.
    std::memcpy(m.aperture[1] + 0xFFFC, &planted, 4);
    std::uint64_t refusals = 0;
    for (std::uint32_t offset : {0x0000u, 0x0FFCu, 0x2000u, 0x5FFCu, 0x7000u, 0xFFFCu, 0x10000u}) {
        read = 0x1234;
        EXPECT_EQ(client.Read(second, offset, &read, 4), 0) << std::hex << offset;
        EXPECT_EQ(read, 0x1234u);
        EXPECT_EQ(client.Write(second, offset, &value, 4), 0) << std::hex << offset;
        refusals += 2;
    }
    EXPECT_EQ(At(m.aperture[1], 0xFFFC), planted);
    EXPECT_EQ(At(m.aperture[1], 0x0000), 0u);
    EXPECT_EQ(client.Read(second, 0x179E, &read, 4), 0);
    EXPECT_EQ(client.Read(second, 0x1798, &read, 2), 0);
    EXPECT_EQ(client.Write(0, 0x1798, &value, 4), 0);
    EXPECT_EQ(client.Write(second + 1, 0x1798, &value, 4), 0);
    EXPECT_EQ(client.RefusedAccesses(), refusals + 4);

    EXPECT_EQ(client.Unmap(first), 1);
    EXPECT_EQ(client.Write(first, 0x179C, &planted, 4), 0);
    EXPECT_EQ(client.Unmap(first), 0);
    EXPECT_EQ(m.hal.LiveMappings(), 2);
}

TEST_F(DriverClientTest, RefusedMappingsGiveHandleZero) {
    EXPECT_EQ(client.Map(static_cast<std::uint32_t>(tagDriverTestMachine::kRamBase), 0, 0x10000),
              0u);
    EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(OVNVXD_NOT_GRANTED));
    const std::uint64_t past = m.Aperture(0) + 0x8000;
    EXPECT_EQ(client.Map(static_cast<std::uint32_t>(past), static_cast<std::uint32_t>(past >> 32),
                         0x10000),
              0u);
    EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(OVNVXD_NOT_GRANTED));
    const std::uint64_t a0 = m.Aperture(0);
    EXPECT_EQ(
        client.Map(static_cast<std::uint32_t>(a0), static_cast<std::uint32_t>(a0 >> 32), 0x1FFF),
        0u)
        << "a window that holds no granted page whole";
    EXPECT_EQ(client.Map(0xFFFFF000u, 0xFFFFFFFFu, 0x10000), 0u);
    EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(OVNVXD_BAD_PARAMETER));
    EXPECT_EQ(m.hal.LiveMappings(), 0);
}

TEST_F(DriverClientTest, AShortWindowHasOnlyTheGpioPage) {
    const std::uint64_t a1 = m.Aperture(1);
    const std::uint32_t window = client.Map(static_cast<std::uint32_t>(a1), 0, 0x2000);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(m.hal.LiveMappings(), 1);
    std::uint32_t value = 0;
    EXPECT_EQ(client.Read(window, 0x17A4, &value, 4), 1);
    EXPECT_EQ(client.Read(window, 0x60D0, &value, 4), 0);
}

TEST_F(DriverClientTest, AWindowOverRamIsRefusedWhole) {
    // Card 0's I2C page is reported as RAM: the GPIO page it got is given back.
    m.hal.AddRam(m.Aperture(0) + 0x6000, 0x1000);
    EXPECT_EQ(MapAperture(0), 0u);
    EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(OVNVXD_OVER_RAM));
    EXPECT_EQ(m.hal.LiveMappings(), 0);
    EXPECT_EQ(transport.MappingCount(), 0u);
}

TEST_F(DriverClientTest, ClosingTheHandleReleasesTheMappings) {
    ASSERT_NE(MapAperture(0), 0u);
    const std::uint32_t second = MapAperture(1);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(m.hal.LiveMappings(), 4);
    transport.Close();
    EXPECT_EQ(m.hal.LiveMappings(), 0);
    EXPECT_EQ(MapAperture(0), 0u) << "a cleaned-up handle takes no new window";
    EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(OVNVXD_HANDLE_CLOSED));
    EXPECT_EQ(m.hal.LiveMappings(), 0);
}

TEST_F(DriverClientTest, TwoThreadsOnTwoMappings) {
    const std::uint32_t mappings[2] = {MapAperture(0), MapAperture(1)};
    ASSERT_NE(mappings[0], 0u);
    ASSERT_NE(mappings[1], 0u);
    constexpr std::uint32_t kRounds = 20000;
    bool readBack[2] = {true, true};
    auto worker = [&](int card) {
        for (std::uint32_t i = 0; i < kRounds; ++i) {
            const std::uint32_t offset = 0x1000 + (i % 0x400) * 4, value = i * 2 + card;
            std::uint32_t read = 0;
            client.Write(mappings[card], offset, &value, 4);
            client.Read(mappings[card], offset, &read, 4);
            if (read != value) readBack[card] = false;
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    EXPECT_TRUE(readBack[0]);
    EXPECT_TRUE(readBack[1]);
    for (int card = 0; card < 2; ++card) {
        const std::uint32_t last = kRounds - 1;
        EXPECT_EQ(At(m.aperture[card], 0x1000 + (last % 0x400) * 4), last * 2 + card);
    }
}

// The utility's scan and register operations, routed through the client as OvnVxd.dll routes its
// exports: the whole stack but the kernel glue and DeviceIoControl.
COvnVxdClient* g_client = nullptr;
int OVNVXD_CALL ClientConfig(std::uint32_t d, std::uint32_t o, void* p, std::uint32_t s,
                             std::uint32_t dir) {
    return g_client->ConfigAccess(d, o, p, s, dir);
}
int OVNVXD_CALL ClientRead(std::uint32_t h, std::uint32_t o, void* p, std::uint32_t s) {
    return g_client->Read(h, o, p, s);
}
int OVNVXD_CALL ClientWrite(std::uint32_t h, std::uint32_t o, const void* p, std::uint32_t s) {
    return g_client->Write(h, o, p, s);
}
std::uint32_t OVNVXD_CALL ClientMap(std::uint32_t lo, std::uint32_t hi, std::uint32_t n,
                                    std::uint32_t) {
    return g_client->Map(lo, hi, n);
}
int OVNVXD_CALL ClientUnmap(std::uint32_t h) { return g_client->Unmap(h); }
int OVNVXD_CALL ClientScan(PciScanCallback c, void* x) { return g_client->ScanBus(c, x); }

TEST_F(DriverClientTest, TheUtilitysScanFindsAndMapsBothCards) {
    g_client = &client;
    CExportsLibrary library(
        {ClientConfig, ClientRead, ClientWrite, ClientMap, ClientUnmap, ClientScan});
    library.Install();
    {
        CPciScan scan;
        ASSERT_TRUE(scan.Scan());
        ASSERT_EQ(scan.cardCount, 2u);
        for (std::uint32_t i = 0; i < 2; ++i) {
            const tagPciInfo& card = scan.devices->items[i];
            ASSERT_NE(card.hRegisters, 0u);
            EXPECT_EQ(memWrite32(card.hRegisters, 0x60D0, 0x1000u + i), 1);
            EXPECT_EQ(memWrite32(card.hRegisters, 0x2000, 1), 0);
            EXPECT_EQ(At(m.aperture[i], 0x60D0), 0x1000u + i);
            EXPECT_EQ(m.machine.Card(static_cast<int>(i)).Function().Dword(0x04) & 2, 2u);
            EXPECT_EQ(m.machine.Card(static_cast<int>(i)).Function().Dword(0xE0) & 3, 0u);
        }
        EXPECT_EQ(m.hal.LiveMappings(), 4);
        // The scan's own two writes per card (memory decoding, dword 0xE0), none by the maps.
        EXPECT_EQ(m.hal.ConfigWrites(), 4u);
    }
    EXPECT_EQ(m.hal.LiveMappings(), 0) << "the scanner's destruction unmaps";
    driver_access::ResetForTesting();
    g_client = nullptr;
}

}  // namespace
