// BAR decoding by the standard sizing: 32- and 64-bit memory BARs, I/O and empty BARs, and a
// function left as it was found.
#include <gtest/gtest.h>

#include "tools/ovnvxd/sim_hal_testutil.h"

namespace {

TEST(DriverBarTest, SixtyFourBitBarsAreSizedAndRestored) {
    tagDriverTestMachine m;
    sim::PciFunction& f = m.machine.Card(0).Function();
    f.Preset32(0x04, 0x00000003u, 0x00000407u);  // decoding on, as on a live card
    const std::uint32_t before[] = {f.Dword(0x04), f.Dword(0x10), f.Dword(0x14), f.Dword(0x18),
                                    f.Dword(0x1C)};
    OvnVxdBar bar{};
    EXPECT_EQ(OvnVxdDecodeBar(&m.hal.Hal(), tagDriverTestMachine::kCard0, 0x10, &bar), 0x18u);
    EXPECT_TRUE(bar.isMemory && bar.is64Bit);
    EXPECT_EQ(bar.base, 0x1000000000ull);
    EXPECT_EQ(bar.size, 0x10000000ull);
    EXPECT_EQ(OvnVxdDecodeBar(&m.hal.Hal(), tagDriverTestMachine::kCard0, 0x18, &bar), 0x20u);
    EXPECT_EQ(bar.base, m.Aperture(0));
    EXPECT_EQ(bar.size, 0x10000ull);
    const std::uint32_t after[] = {f.Dword(0x04), f.Dword(0x10), f.Dword(0x14), f.Dword(0x18),
                                   f.Dword(0x1C)};
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(after)));
    // The all-ones pattern only ever met a function with its decoders off.
    bool decoding = true, sawPattern = false;
    for (const auto& access : f.Accesses()) {
        if (!access.write) continue;
        if (access.offset == 0x04) decoding = !decoding;
        if (access.offset >= 0x10 && access.offset < 0x20 && !sawPattern) {
            sawPattern = true;
            EXPECT_FALSE(decoding);
        }
    }
    EXPECT_TRUE(sawPattern);
}

TEST(DriverBarTest, ThirtyTwoBitIoAndEmptyBars) {
    tagDriverTestMachine m;
    OvnVxdBar bar{};
    EXPECT_EQ(OvnVxdDecodeBar(&m.hal.Hal(), tagDriverTestMachine::kCard1, 0x14, &bar), 0x18u);
    EXPECT_TRUE(bar.isMemory);
    EXPECT_FALSE(bar.is64Bit);
    EXPECT_EQ(bar.base, m.Aperture(1));
    EXPECT_EQ(bar.size, 0x10000ull);

    sim::PciFunction& card0 = m.machine.Card(0).Function();
    card0.ClearAccesses();
    EXPECT_EQ(OvnVxdDecodeBar(&m.hal.Hal(), tagDriverTestMachine::kCard0, 0x20, &bar), 0x24u);
    EXPECT_FALSE(bar.isMemory);
    EXPECT_EQ(card0.Writes(), 0u) << "an I/O BAR is never written";

    EXPECT_EQ(OvnVxdDecodeBar(&m.hal.Hal(), tagDriverTestMachine::kCard0, 0x24, &bar), 0x28u);
    EXPECT_EQ(bar.base, 0u);
    EXPECT_EQ(bar.size, 0u);
    EXPECT_EQ(card0.Writes(), 0u) << "an unassigned BAR is not sized";
}

TEST(DriverBarTest, ReadOnlyBarDecodesAsUnimplemented) {
    tagDriverTestMachine m;
    m.machine.FindFunction(5, 0, 0)->Preset32(0x14, 0xE9000000u);  // no writable bits
    OvnVxdBar bar{};
    OvnVxdDecodeBar(&m.hal.Hal(), tagDriverTestMachine::kOtherMaker, 0x14, &bar);
    EXPECT_EQ(bar.base, 0xE9000000u);
    EXPECT_EQ(bar.size, 0u);
}

}  // namespace
