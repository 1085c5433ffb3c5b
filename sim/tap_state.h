// IEEE 1149.1 TAP controller states, numbered as XSVF numbers them, and the controller's
// transitions.
#pragma once

#include <cstdint>

namespace sim {

enum class TapState : std::uint8_t {
    TestLogicReset = 0,
    RunTestIdle = 1,
    SelectDrScan = 2,
    CaptureDr = 3,
    ShiftDr = 4,
    Exit1Dr = 5,
    PauseDr = 6,
    Exit2Dr = 7,
    UpdateDr = 8,
    SelectIrScan = 9,
    CaptureIr = 10,
    ShiftIr = 11,
    Exit1Ir = 12,
    PauseIr = 13,
    Exit2Ir = 14,
    UpdateIr = 15,
};

// The state the controller enters on a rising TCK edge with the given TMS level.
TapState NextTapState(TapState state, bool tms);

// States in which the controller stays while TMS holds its level (pulses there are waits).
bool IsStableTapState(TapState state);

// Short name for traces, e.g. "Shift-DR".
const char* TapStateName(TapState state);

}  // namespace sim
