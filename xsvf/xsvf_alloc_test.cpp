// Counts heap allocations of a whole play: nothing beyond the seven vector buffers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "testing/xsvf_writer/xsvf_writer.h"
#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/xsvf_player.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_news{0};
std::atomic<long> g_mallocs{0};
std::atomic<long> g_callocs{0};
std::atomic<long> g_reallocs{0};

void Count(std::atomic<long>& counter) {
    if (g_counting.load(std::memory_order_relaxed)) counter.fetch_add(1);
}

// Lets the block escape, so the compiler keeps a call whose result is otherwise unused.
void Keep(void* p) { asm volatile("" : : "g"(p) : "memory"); }
}  // namespace

// Every operator new of this test binary passes here; malloc and free carry the blocks, which the
// compiler cannot see through when gtest's own news and deletes are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    Count(g_news);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// The C allocation calls of the statically linked code reach these through the linker's --wrap
// (see the test's CMake entry); the sanitizers' own allocators stay behind the __real_ names.
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* p, std::size_t size);
void* __wrap_malloc(std::size_t size) {
    Count(g_mallocs);
    return __real_malloc(size);
}
void* __wrap_calloc(std::size_t count, std::size_t size) {
    Count(g_callocs);
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* p, std::size_t size) {
    Count(g_reallocs);
    return __real_realloc(p, size);
}
}

namespace {

// TDI, TDO expected, TDO mask, TDO captured, address mask, data mask and the XSDRINC data.
constexpr long kPlayerVectorBuffers = 7;

// The wrap itself is checked first: a count of 0 below must not come from calls that bypass it.
TEST(PlayAllocations, CountersSeeTheCAllocationCalls) {
    g_counting = true;
    void* a = std::malloc(8);
    Keep(a);
    void* b = std::calloc(2, 8);
    Keep(b);
    void* c = std::realloc(a, 64);
    Keep(c);
    g_counting = false;
    std::free(b);
    std::free(c);
    EXPECT_EQ(g_mallocs.exchange(0), 1);
    EXPECT_EQ(g_callocs.exchange(0), 1);
    EXPECT_EQ(g_reallocs.exchange(0), 1);
}

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
    port.image = {image.data(), static_cast<std::uint32_t>(image.size())};
    g_counting = true;
    std::int32_t result = playXsvf(&port);
    g_counting = false;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(g_news.load(), 0);
    EXPECT_EQ(g_mallocs.load(), 0);
    EXPECT_EQ(g_reallocs.load(), 0);
    EXPECT_EQ(g_callocs.load(), kPlayerVectorBuffers);
    EXPECT_GT(tagCountingDriver::writes, 4u * 4096u * 6u);
}

}  // namespace
