// The register aperture as the driver core reads it: the scan's reading, configuration reads only,
// and the BAR values that name no aperture.
#include <gtest/gtest.h>

#include "components/ovnvxd/sim_hal_testutil.h"

namespace {

class DriverApertureTest : public ::testing::Test {
protected:
    // The aperture of card 1 (32-bit BAR0, aperture BAR at 0x14), or 0 when there is none.
    std::uint64_t Card1Aperture() {
        std::uint64_t aperture = 0xDEAD;
        const int found = OvnVxdApertureOf(&m.hal.Hal(), tagDriverTestMachine::kCard1, &aperture);
        EXPECT_EQ(found != 0, aperture != 0);
        return aperture;
    }
    sim::PciFunction& Card(int i) { return m.machine.Card(i).Function(); }

    tagDriverTestMachine m;
};

TEST_F(DriverApertureTest, BothBarLayoutsAreReadAsTheScanReadsThem) {
    std::uint64_t aperture = 0;
    ASSERT_TRUE(OvnVxdApertureOf(&m.hal.Hal(), tagDriverTestMachine::kCard0, &aperture));
    EXPECT_EQ(aperture, m.Aperture(0));  // 64-bit BAR0: 0x18 and 0x1C, above 4 GiB
    EXPECT_EQ(Card1Aperture(), m.Aperture(1));
    EXPECT_EQ(Card(0).Writes() + Card(1).Writes(), 0u);
    // Flags in the low byte are dropped, as the scan drops them (prefetchable here).
    Card(1).Preset32(0x14, static_cast<std::uint32_t>(m.Aperture(1)) | 0x08);
    EXPECT_EQ(Card1Aperture(), m.Aperture(1));
}

TEST_F(DriverApertureTest, BarsThatNameNoApertureGiveNone) {
    const std::uint32_t base = static_cast<std::uint32_t>(m.Aperture(1));
    Card(1).Preset32(0x14, 0x0000E001u);  // I/O
    EXPECT_EQ(Card1Aperture(), 0u);
    Card(1).Preset32(0x14, base | 0x6);  // reserved memory type
    EXPECT_EQ(Card1Aperture(), 0u);
    Card(1).Preset32(0x14, 0);  // unassigned
    EXPECT_EQ(Card1Aperture(), 0u);
    Card(1).Preset32(0x14, base | 0x8000);  // not aligned to the 64 KiB it spans
    EXPECT_EQ(Card1Aperture(), 0u);
    // A 64-bit aperture BAR after a 32-bit BAR0 whose upper half the scan does not read.
    Card(1).Preset32(0x14, base | 0x4);
    Card(1).Preset32(0x18, 0x1);
    EXPECT_EQ(Card1Aperture(), 0u);
    Card(1).Preset32(0x18, 0);
    EXPECT_EQ(Card1Aperture(), m.Aperture(1)) << "the same BAR with its upper half 0";

    // After a 64-bit BAR0, a 32-bit BAR at 0x18 leaves 0x1C to another BAR: the scan's address
    // (with 0x1C as its upper half) is then no BAR's.
    sim::PciFunction& card0 = Card(0);
    card0.Preset32(0x18, static_cast<std::uint32_t>(m.Aperture(0)));
    std::uint64_t aperture = 0;
    EXPECT_FALSE(OvnVxdApertureOf(&m.hal.Hal(), tagDriverTestMachine::kCard0, &aperture));
    EXPECT_EQ(m.hal.ConfigWrites(), 0u);
}

TEST_F(DriverApertureTest, RamListDecidesWhatIsClear) {
    const OvnVxdHal* hal = &m.hal.Hal();
    EXPECT_FALSE(OvnVxdClearOfRam(hal, tagDriverTestMachine::kRamBase, 0x1000));
    EXPECT_FALSE(OvnVxdClearOfRam(hal, tagDriverTestMachine::kRamBase - 0x1000, 0x1001));
    EXPECT_TRUE(OvnVxdClearOfRam(hal, tagDriverTestMachine::kRamBase - 0x1000, 0x1000));
    EXPECT_TRUE(OvnVxdClearOfRam(hal, tagDriverTestMachine::kRamBase + 0x100000, 0x1000));
    EXPECT_FALSE(OvnVxdClearOfRam(hal, ~0ull - 0xFFF, 0x2000)) << "wraps";
    EXPECT_FALSE(OvnVxdClearOfRam(hal, 0x2000, 0)) << "nothing to check";
    // A range list entry that runs to the top of the address space.
    m.hal.AddRam(0xFFFFFFFF00000000ull, 0x100000000ull);
    EXPECT_FALSE(OvnVxdClearOfRam(hal, ~0ull - 0xFFF, 0x1000));
    m.hal.FailRamList();
    EXPECT_FALSE(OvnVxdClearOfRam(hal, m.Aperture(0), 0x1000)) << "no list, nothing is clear";
}

}  // namespace
