// The utility's hardware work through OvnVxd.dll's client and the driver core, on both simulated
// cards at once: the scan finds and maps them, the version is read over I2C, one worker per card
// plays the demo image, and both come out with the new version. The client's loads and stores land
// on the pages the core mapped; a bridge hands each one on to the card's register model.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "components/ovnvxd/ovnvxd_client.h"
#include "components/ovnvxd/ovnvxd_direct_transport.h"
#include "components/ovnvxd/sim_hal_testutil.h"
#include "device/kseries.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/fake_driver_access_testutil.h"
#include "hwaccess/pci_scan.h"
#include "testing/xsvf_writer/make_demo_xsvf.h"
#include "xsvf/jtag_port.h"
#include "xsvf/jtag_port_open.h"

namespace {

// The driver-access exports over the client. A register read first puts the card model's value on
// the mapped page, a register write passes what the client stored there on to the model: every
// access takes the client's own path, refusals included.
struct tagClientBridge {
    tagDriverTestMachine* m = nullptr;
    COvnVxdClient* client = nullptr;
    std::map<std::uint32_t, int> cardOf;  // mapping handle -> card; filled before the workers start
    bool storedElsewhere = false;

    int Card(std::uint32_t mapping) const {
        auto found = cardOf.find(mapping);
        return found == cardOf.end() ? -1 : found->second;
    }
    std::uint8_t* Byte(int card, std::uint32_t offset) const { return m->aperture[card] + offset; }
};
tagClientBridge g_bridge;

int OVNVXD_CALL BridgeConfig(std::uint32_t d, std::uint32_t o, void* p, std::uint32_t s,
                             std::uint32_t dir) {
    return g_bridge.client->ConfigAccess(d, o, p, s, dir);
}
int OVNVXD_CALL BridgeRead(std::uint32_t h, std::uint32_t o, void* p, std::uint32_t s) {
    const int card = g_bridge.Card(h);
    if (card >= 0 && OvnVxdGrantedOffset(o) && o <= OVNVXD_APERTURE_LENGTH - 4) {
        const std::uint32_t value = g_bridge.m->machine.Card(card).ReadRegister(o);
        std::memcpy(g_bridge.Byte(card, o), &value, 4);
    }
    return g_bridge.client->Read(h, o, p, s);
}
int OVNVXD_CALL BridgeWrite(std::uint32_t h, std::uint32_t o, const void* p, std::uint32_t s) {
    const int card = g_bridge.Card(h);
    if (!g_bridge.client->Write(h, o, p, s)) return 0;
    std::uint32_t stored = 0, meant = 0;
    std::memcpy(&stored, g_bridge.Byte(card, o), 4);
    std::memcpy(&meant, p, 4);
    if (stored != meant) g_bridge.storedElsewhere = true;
    g_bridge.m->machine.Card(card).WriteRegister(o, stored);
    return 1;
}
std::uint32_t OVNVXD_CALL BridgeMap(std::uint32_t lo, std::uint32_t hi, std::uint32_t n,
                                    std::uint32_t) {
    const std::uint32_t mapping = g_bridge.client->Map(lo, hi, n);
    const std::uint64_t address = (std::uint64_t{hi} << 32) | lo;
    for (int card = 0; card < 2 && mapping != 0; ++card) {
        if (g_bridge.m->Aperture(card) == address) g_bridge.cardOf[mapping] = card;
    }
    return mapping;
}
int OVNVXD_CALL BridgeUnmap(std::uint32_t h) { return g_bridge.client->Unmap(h); }
int OVNVXD_CALL BridgeScan(PciScanCallback c, void* x) { return g_bridge.client->ScanBus(c, x); }

TEST(DriverClientRun, BothCardsAreProgrammedThroughTheClient) {
    tagDriverTestMachine m;
    COvnVxdDirectTransport transport{m.hal.Hal()};
    COvnVxdClient client{transport};
    g_bridge = tagClientBridge{};
    g_bridge.m = &m;
    g_bridge.client = &client;
    CExportsLibrary library(
        {BridgeConfig, BridgeRead, BridgeWrite, BridgeMap, BridgeUnmap, BridgeScan});
    library.Install();
    {
        CPciScan scan;
        ASSERT_TRUE(scan.Scan());
        ASSERT_EQ(scan.cardCount, 2u);
        const XsvfBytes image = MakeK740DemoXsvf();
        tagDeviceUpdate records[2];
        CKSeries cards[2];
        const wchar_t* before[2] = {L"1.2.7", L"1.3.0"};
        for (int i = 0; i < 2; ++i) {
            tagDeviceUpdate& record = records[i];
            record.pciHandle = scan.devices->items[i].hDevice;
            record.regHandle = scan.devices->items[i].hRegisters;
            ASSERT_NE(record.regHandle, 0u);
            record.delayCount = 0;
            EXPECT_EQ(cards[i].GetFpgaVersion(&record), before[i]);
            ::testing::internal::CaptureStdout();
            openJtagPort(&record);
            ::testing::internal::GetCapturedStdout();
            record.delayCount = 0;
            record.image = {image.data(), static_cast<std::uint32_t>(image.size())};
            record.offset = 0;
        }
        std::thread workers[2];
        for (int i = 0; i < 2; ++i) {
            workers[i] = std::thread([&cards, &records, i] { cards[i].Update(&records[i]); });
        }
        for (auto& worker : workers) worker.join();
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(records[i].updateResult.load(), 0)
                << "card " << i << " failed at command " << records[i].failure.commandIndex;
            EXPECT_EQ(records[i].percentDone.load(), 100u);
            closeJtagPort(&records[i], 1);
            EXPECT_EQ(m.machine.Card(i).Version().minor, 4) << "card " << i;
            EXPECT_EQ(cards[i].GetFpgaVersion(&records[i]), L"1.4.2") << "card " << i;
        }
        EXPECT_EQ(client.RefusedAccesses(), 0u) << "the run touched a register outside the grant";
        EXPECT_FALSE(g_bridge.storedElsewhere) << "a store did not land where it was meant";
    }
    EXPECT_EQ(m.hal.LiveMappings(), 0);
    driver_access::ResetForTesting();
    g_bridge = tagClientBridge{};
}

}  // namespace
