// ScopedHandle's ownership: every handle it takes is closed exactly once, and never one its traits
// call invalid.
#include "base/scoped_handle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Handles are small ints; 0 and -1 are both "no handle", as null and INVALID_HANDLE_VALUE are for
// kernel objects. Closes are recorded, so a double close or a leak shows.
std::vector<int> closed;

struct FakeTraits {
    using Type = int;
    static Type Invalid() noexcept { return -1; }
    static bool IsValid(Type handle) noexcept { return handle != 0 && handle != -1; }
    static void Close(Type handle) noexcept { closed.push_back(handle); }
};
using Handle = ovn::ScopedHandle<FakeTraits>;

class ScopedHandleTest : public ::testing::Test {
protected:
    void SetUp() override { closed.clear(); }
};

TEST_F(ScopedHandleTest, ClosesOnceAtTheEndAndNeverAnInvalidValue) {
    {
        Handle a(5);
        Handle none(0);
        Handle invalid(-1);
        Handle empty;
        EXPECT_TRUE(a.valid());
        EXPECT_FALSE(none.valid());
        EXPECT_FALSE(invalid);
        EXPECT_FALSE(empty);
    }
    EXPECT_EQ(closed, std::vector<int>{5});
}

TEST_F(ScopedHandleTest, MoveLeavesTheSourceEmptyAndTheHandleClosedOnce) {
    {
        Handle a(5);
        Handle b(std::move(a));
        EXPECT_FALSE(a.valid());
        EXPECT_EQ(b.get(), 5);
        Handle c(6);
        c = std::move(b);  // 6 goes now, 5 moves on
        EXPECT_EQ(closed, std::vector<int>{6});
        EXPECT_FALSE(b.valid());
        EXPECT_EQ(c.get(), 5);
    }
    EXPECT_EQ(closed, (std::vector<int>{6, 5}));
}

TEST_F(ScopedHandleTest, ResetClosesTheOldHandleOnceAndReleaseClosesNothing) {
    Handle a(5);
    a.reset(7);
    a.reset(8);
    EXPECT_EQ(closed, (std::vector<int>{5, 7}));
    a.reset();
    a.reset();
    EXPECT_EQ(closed, (std::vector<int>{5, 7, 8}));
    EXPECT_FALSE(a.valid());

    Handle b(9);
    const int given = b.release();
    EXPECT_EQ(given, 9);
    EXPECT_FALSE(b.valid());
    b.reset();
    EXPECT_EQ(closed, (std::vector<int>{5, 7, 8})) << "a released handle is the caller's to close";
}

}  // namespace
