// OvnVxdGuardedCall under the system's own exception dispatch (the kernel's is the same scheme): a
// raise or a fault inside the call comes back as 0 with the caller intact, again and again, nested
// guards each catch their own, and a call that returns gives 1.
#include <gtest/gtest.h>
#include <windows.h>

#include "components/ovnvxd/ovnvxd_guard.h"

namespace {

void Returns(void* argument) { *static_cast<int*>(argument) = 42; }
void Raises(void*) { RaiseException(0xE0564F01u, 0, 0, nullptr); }
void Faults(void* argument) { *static_cast<volatile int*>(argument) = 1; }

// Values the caller keeps across the call, in callee-saved registers or on its stack.
int Mix(int seed) {
    int a = seed * 3, b = seed ^ 0x5A5A, c = seed + 77, d = seed * seed, e = ~seed;
    const int raised = OvnVxdGuardedCall(Raises, nullptr);
    return raised + a + 3 * b + 5 * c + 7 * d + 11 * e;
}

TEST(GuardedCall, ReturnsOneWhenTheCallReturns) {
    int value = 0;
    EXPECT_EQ(OvnVxdGuardedCall(Returns, &value), 1);
    EXPECT_EQ(value, 42);
}

TEST(GuardedCall, ARaiseOrAFaultComesBackAsZeroEveryTime) {
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(OvnVxdGuardedCall(Raises, nullptr), 0) << "raise " << i;
        ASSERT_EQ(OvnVxdGuardedCall(Faults, nullptr), 0) << "fault " << i;
    }
    int value = 0;
    EXPECT_EQ(OvnVxdGuardedCall(Returns, &value), 1) << "the guard still works afterwards";
    EXPECT_EQ(value, 42);
}

TEST(GuardedCall, TheCallersValuesSurvive) {
    for (int seed = 1; seed < 50; ++seed) {
        const int a = seed * 3, b = seed ^ 0x5A5A, c = seed + 77, d = seed * seed, e = ~seed;
        EXPECT_EQ(Mix(seed), a + 3 * b + 5 * c + 7 * d + 11 * e) << seed;
    }
}

struct Nested {
    int inner = -1;
    bool raiseAfter = false;
};

void GuardsItsOwn(void* argument) {
    auto* nested = static_cast<Nested*>(argument);
    nested->inner = OvnVxdGuardedCall(Raises, nullptr);
    if (nested->raiseAfter) Raises(nullptr);
}

TEST(GuardedCall, NestedGuardsEachCatchTheirOwn) {
    Nested nested;
    EXPECT_EQ(OvnVxdGuardedCall(GuardsItsOwn, &nested), 1);
    EXPECT_EQ(nested.inner, 0);
    nested.raiseAfter = true;
    EXPECT_EQ(OvnVxdGuardedCall(GuardsItsOwn, &nested), 0);
    EXPECT_EQ(nested.inner, 0);
}

}  // namespace
