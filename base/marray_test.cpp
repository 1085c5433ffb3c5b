// The system's array: growth steps, zero-fill, compaction and the strong guarantee.
#include "base/marray.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

namespace {

// Allocations fail on demand for the strong-guarantee tests; everything else goes to malloc.
bool g_failAllocations = false;

}  // namespace

// The replacement pairs malloc with free on purpose; the compiler cannot see that both halves are
// ours.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (g_failAllocations) throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

struct tagRecord {
    std::uint32_t a;
    std::uint16_t b;
    std::uint8_t c;
};

using Bytes = CMArray<unsigned char>;
using Records = CMArray<tagRecord, const tagRecord&>;

bool AllZero(const Records& array, std::int32_t from, std::int32_t to) {
    for (std::int32_t i = from; i < to; ++i) {
        const tagRecord& r = array.items[i];
        if (r.a != 0 || r.b != 0 || r.c != 0) return false;
    }
    return true;
}

TEST(CMArray, NewArrayHasAllFieldsZero) {
    Records array;
    EXPECT_EQ(array.items, nullptr);
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(array.capacity, 0);
    EXPECT_EQ(array.growStep, 0);
}

TEST(CMArray, AppendingOneAtATimeGrowsInStepsOfFour) {
    Records array;
    std::vector<std::int32_t> capacities;
    for (std::uint32_t i = 0; i < 10; ++i) {
        array.StoreAt(array.count, tagRecord{i + 1, 2, 3});
        capacities.push_back(array.capacity);
        if (i >= 1) {
            EXPECT_EQ(array.growStep, 4) << "append " << i;
        }
    }
    EXPECT_EQ(capacities, (std::vector<std::int32_t>{1, 5, 5, 5, 5, 9, 9, 9, 9, 13}));
    for (std::uint32_t i = 0; i < 10; ++i) EXPECT_EQ(array.items[i].a, i + 1);
}

TEST(CMArray, FirstGrowthFixesTheStepFromTheCount) {
    Records array;
    array.SetCount(100);
    EXPECT_EQ(array.capacity, 100);
    EXPECT_EQ(array.growStep, 0);
    array.SetCount(101);
    EXPECT_EQ(array.growStep, 12);
    EXPECT_EQ(array.capacity, 112);
    array.SetCount(113);
    EXPECT_EQ(array.capacity, 124);
    array.SetCount(1000);  // at least capacity + step: exactly what was asked
    EXPECT_EQ(array.capacity, 1000);
    array.SetCount(1001);
    EXPECT_EQ(array.growStep, 12);
    EXPECT_EQ(array.capacity, 1012);
    EXPECT_TRUE(AllZero(array, 0, array.count));
}

TEST(CMArray, StepIsClampedTo1024) {
    Bytes array;
    array.SetCount(100000);
    array.SetCount(100001);
    EXPECT_EQ(array.growStep, 1024);
    EXPECT_EQ(array.capacity, 101024);
}

TEST(CMArray, GivenGrowStepIsKept) {
    Bytes array;
    array.SetCount(2, 7);
    EXPECT_EQ(array.growStep, 7);
    array.SetCount(3);
    EXPECT_EQ(array.capacity, 9);
}

TEST(CMArray, SetCountFourGivesFourZeroBytes) {
    Bytes array;
    array.SetCount(4, -1);
    ASSERT_NE(array.items, nullptr);
    EXPECT_EQ(array.count, 4);
    EXPECT_EQ(array.capacity, 4);
    EXPECT_EQ(array.growStep, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(array.items[i], 0);
}

TEST(CMArray, StoreBeyondTheEndZeroFillsTheGap) {
    Records array;
    array.StoreAt(3, tagRecord{9, 8, 7});
    EXPECT_EQ(array.count, 4);
    EXPECT_TRUE(AllZero(array, 0, 3));
    EXPECT_EQ(array.items[3].a, 9u);
    EXPECT_EQ(array.items[3].c, 7);
}

TEST(CMArray, StoreOfOwnElementSurvivesGrowth) {
    Records array;
    array.StoreAt(0, tagRecord{5, 6, 7});
    array.StoreAt(1, array.items[0]);  // the old storage is freed by this growth
    EXPECT_EQ(array.items[1].a, 5u);
    EXPECT_EQ(array.items[1].b, 6);
}

TEST(CMArray, ShrinkKeepsStorageAndRegrowthZeroFills) {
    Records array;
    for (std::uint32_t i = 0; i < 5; ++i) array.StoreAt(array.count, tagRecord{i + 1, 1, 1});
    tagRecord* storage = array.items;
    array.SetCount(2);
    EXPECT_EQ(array.items, storage);
    EXPECT_EQ(array.capacity, 5);
    array.SetCount(5);
    EXPECT_EQ(array.items, storage);
    EXPECT_EQ(array.items[1].a, 2u);
    EXPECT_TRUE(AllZero(array, 2, 5));
}

TEST(CMArray, SetCountZeroFreesAndKeepsTheStep) {
    Records array;
    array.SetCount(8);
    array.SetCount(9);
    ASSERT_EQ(array.growStep, 4);
    array.SetCount(0);
    EXPECT_EQ(array.items, nullptr);
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(array.capacity, 0);
    EXPECT_EQ(array.growStep, 4);
}

TEST(CMArray, CompactShrinksToCountOrFreesWhenEmpty) {
    Records array;
    for (std::uint32_t i = 0; i < 3; ++i) array.StoreAt(array.count, tagRecord{i + 1, 0, 0});
    ASSERT_EQ(array.capacity, 5);
    array.Compact();
    EXPECT_EQ(array.capacity, 3);
    EXPECT_EQ(array.items[2].a, 3u);

    array.count = 0;  // callers own the fields too; storage is left behind
    array.Compact();
    EXPECT_EQ(array.items, nullptr);
    EXPECT_EQ(array.capacity, 0);
}

TEST(CMArray, FailedAllocationLeavesTheArrayUnchanged) {
    Records array;
    for (std::uint32_t i = 0; i < 5; ++i) array.StoreAt(array.count, tagRecord{i + 1, 0, 0});
    tagRecord* storage = array.items;

    g_failAllocations = true;
    EXPECT_THROW(array.SetCount(6, 9), std::bad_alloc);
    EXPECT_THROW(array.StoreAt(5, tagRecord{}), std::bad_alloc);
    g_failAllocations = false;
    EXPECT_EQ(array.items, storage);
    EXPECT_EQ(array.count, 5);
    EXPECT_EQ(array.capacity, 5);
    EXPECT_EQ(array.growStep, 4);
    EXPECT_EQ(array.items[4].a, 5u);

    array.SetCount(3);
    g_failAllocations = true;
    EXPECT_THROW(array.Compact(), std::bad_alloc);
    g_failAllocations = false;
    EXPECT_EQ(array.items, storage);
    EXPECT_EQ(array.capacity, 5);
}

TEST(CMArray, FailedFirstAllocationLeavesTheArrayEmpty) {
    Bytes array;
    g_failAllocations = true;
    EXPECT_THROW(array.SetCount(4, 3), std::bad_alloc);
    g_failAllocations = false;
    EXPECT_EQ(array.items, nullptr);
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(array.growStep, 0);
}

}  // namespace
