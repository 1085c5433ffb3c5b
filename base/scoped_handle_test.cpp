// ScopedHandle's ownership: every handle it takes is closed exactly once, and never one its traits
// call invalid.
#include "base/scoped_handle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/posix_descriptor.h"
#endif

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

#ifndef _WIN32
// Whether the process still has the descriptor open; fcntl touches nothing else.
bool IsOpen(int descriptor) { return fcntl(descriptor, F_GETFD) != -1 || errno != EBADF; }

TEST(ScopedDescriptor, ClosesItsDescriptorOnceAndAMovedFromOwnerClosesNothing) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    {
        ovn::ScopedDescriptor read(ends[0]);
        ovn::ScopedDescriptor write(ends[1]);
        ASSERT_TRUE(read.valid());
        ovn::ScopedDescriptor moved(std::move(read));
        EXPECT_FALSE(read.valid());
        EXPECT_EQ(read.get(), -1);
        EXPECT_EQ(moved.get(), ends[0]);
        {
            ovn::ScopedDescriptor taken;
            taken = std::move(moved);  // the moved-from owner goes first and must not close it
        }
        EXPECT_FALSE(IsOpen(ends[0])) << "the last owner closes the read end";
        EXPECT_TRUE(IsOpen(ends[1])) << "the write end is still owned";
        // A new descriptor may now take the old number: closing it again would hit that one.
        int reused[2];
        ASSERT_EQ(pipe(reused), 0);
        ovn::ScopedDescriptor keep0(reused[0]);
        ovn::ScopedDescriptor keep1(reused[1]);
        moved.reset();
        read.reset();
        EXPECT_TRUE(IsOpen(reused[0])) << "an emptied owner closed descriptor " << reused[0];
        EXPECT_TRUE(IsOpen(reused[1]));
    }
    EXPECT_FALSE(IsOpen(ends[1]));
}

TEST(ScopedDescriptor, NoNegativeNumberIsADescriptorAndAFailedOpenIsHeldAsNone) {
    EXPECT_FALSE(ovn::PosixDescriptorTraits::IsValid(-1));
    EXPECT_FALSE(ovn::PosixDescriptorTraits::IsValid(-2));
    EXPECT_TRUE(ovn::PosixDescriptorTraits::IsValid(0)) << "standard input is a descriptor";
    const ovn::ScopedDescriptor failed(open("/nonexistent/ovn-descriptor", O_RDONLY | O_CLOEXEC));
    EXPECT_FALSE(failed.valid());
    EXPECT_FALSE(failed);
}
#endif

}  // namespace
