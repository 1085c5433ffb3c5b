// The TAP controller's state diagram as a table: one row per state, TMS 0 and TMS 1 successors.
#include "sim/tap_state.h"

namespace sim {

namespace {

using S = TapState;

struct Row {
    TapState onLow, onHigh;
    const char* name;
};

constexpr Row kRows[16] = {
    {S::RunTestIdle, S::TestLogicReset, "Test-Logic-Reset"},
    {S::RunTestIdle, S::SelectDrScan, "Run-Test/Idle"},
    {S::CaptureDr, S::SelectIrScan, "Select-DR-Scan"},
    {S::ShiftDr, S::Exit1Dr, "Capture-DR"},
    {S::ShiftDr, S::Exit1Dr, "Shift-DR"},
    {S::PauseDr, S::UpdateDr, "Exit1-DR"},
    {S::PauseDr, S::Exit2Dr, "Pause-DR"},
    {S::ShiftDr, S::UpdateDr, "Exit2-DR"},
    {S::RunTestIdle, S::SelectDrScan, "Update-DR"},
    {S::CaptureIr, S::TestLogicReset, "Select-IR-Scan"},
    {S::ShiftIr, S::Exit1Ir, "Capture-IR"},
    {S::ShiftIr, S::Exit1Ir, "Shift-IR"},
    {S::PauseIr, S::UpdateIr, "Exit1-IR"},
    {S::PauseIr, S::Exit2Ir, "Pause-IR"},
    {S::ShiftIr, S::UpdateIr, "Exit2-IR"},
    {S::RunTestIdle, S::SelectDrScan, "Update-IR"},
};

}  // namespace

TapState NextTapState(TapState state, bool tms) {
    const Row& row = kRows[static_cast<unsigned>(state) & 15];
    return tms ? row.onHigh : row.onLow;
}

bool IsStableTapState(TapState state) {
    return state == S::TestLogicReset || state == S::RunTestIdle || state == S::PauseDr ||
           state == S::PauseIr || state == S::ShiftDr || state == S::ShiftIr;
}

const char* TapStateName(TapState state) { return kRows[static_cast<unsigned>(state) & 15].name; }

}  // namespace sim
