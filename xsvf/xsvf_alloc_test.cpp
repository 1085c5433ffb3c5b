// Counts heap allocations of a whole play: nothing beyond the seven vector buffers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tools/xsvf_writer.h"
#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/xsvf_player.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

// Every operator new of this test binary passes here; malloc and free carry the blocks, which the
// compiler cannot see through when gtest's own news and deletes are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(PlayAllocations, NoneBesidesTheVectorBuffers) {
    XsvfWriter w;
    w.State(1).Repeat(2).RunTest(10).Sir(6, 0x09).SdrSize(4096);
    XsvfBytes data(512, 0x5A);
    w.TdoMask(XsvfBytes(512, 0x00)).Sdr(data).SdrTdo(data, XsvfBytes(512, 0));
    w.SetSdrMasks(XsvfBytes(512, 0), XsvfBytes(512, 0)).SdrInc(data, {{}, {}});
    w.SdrB(data).SdrC(data).SdrE(data).Comment("no heap").Wait(1, 1, 5).Complete();
    const XsvfBytes& image = w.Bytes();

    tagCountingDriver::Install();
    tagDeviceUpdate port;
    port.delayCount = 0;
    port.imageCursor = image.data();
    port.imageSize = static_cast<std::uint32_t>(image.size());
    g_counting = true;
    std::int32_t result = playXsvf(&port);
    g_counting = false;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_GT(tagCountingDriver::writes, 4u * 4096u * 6u);
}

}  // namespace
