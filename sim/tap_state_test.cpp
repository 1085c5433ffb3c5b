// The TAP controller model against the IEEE 1149.1 state diagram.
#include "sim/tap_state.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

struct Transition {
    const char* from;
    const char* onLow;
    const char* onHigh;
};

// The standard's diagram, by state name, written down independently of the model's table.
const Transition kStandard[] = {
    {"Test-Logic-Reset", "Run-Test/Idle", "Test-Logic-Reset"},
    {"Run-Test/Idle", "Run-Test/Idle", "Select-DR-Scan"},
    {"Select-DR-Scan", "Capture-DR", "Select-IR-Scan"},
    {"Capture-DR", "Shift-DR", "Exit1-DR"},
    {"Shift-DR", "Shift-DR", "Exit1-DR"},
    {"Exit1-DR", "Pause-DR", "Update-DR"},
    {"Pause-DR", "Pause-DR", "Exit2-DR"},
    {"Exit2-DR", "Shift-DR", "Update-DR"},
    {"Update-DR", "Run-Test/Idle", "Select-DR-Scan"},
    {"Select-IR-Scan", "Capture-IR", "Test-Logic-Reset"},
    {"Capture-IR", "Shift-IR", "Exit1-IR"},
    {"Shift-IR", "Shift-IR", "Exit1-IR"},
    {"Exit1-IR", "Pause-IR", "Update-IR"},
    {"Pause-IR", "Pause-IR", "Exit2-IR"},
    {"Exit2-IR", "Shift-IR", "Update-IR"},
    {"Update-IR", "Run-Test/Idle", "Select-DR-Scan"},
};

TEST(TapState, EveryTransitionMatchesTheStandardDiagram) {
    for (unsigned n = 0; n < 16; ++n) {
        auto state = static_cast<TapState>(n);
        const Transition& t = kStandard[n];
        ASSERT_STREQ(TapStateName(state), t.from) << "state number " << n;
        EXPECT_STREQ(TapStateName(NextTapState(state, false)), t.onLow) << t.from;
        EXPECT_STREQ(TapStateName(NextTapState(state, true)), t.onHigh) << t.from;
    }
}

TEST(TapState, FiveClocksWithTmsHighResetFromAnywhere) {
    for (unsigned n = 0; n < 16; ++n) {
        auto state = static_cast<TapState>(n);
        for (int i = 0; i < 5; ++i) state = NextTapState(state, true);
        EXPECT_EQ(state, TapState::TestLogicReset) << "from state " << n;
    }
}

TEST(TapState, StableStatesAreTheSixSelfLoops) {
    for (unsigned n = 0; n < 16; ++n) {
        auto state = static_cast<TapState>(n);
        bool loops = NextTapState(state, false) == state || NextTapState(state, true) == state;
        EXPECT_EQ(IsStableTapState(state), loops) << TapStateName(state);
    }
}

}  // namespace
}  // namespace sim
