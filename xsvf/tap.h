// TAP controller walk, bit shifting, scans with compare and retry, and run-test waits.
#pragma once

#include <cstdint>

#include "xsvf/bit_vector.h"
#include "xsvf/device_update.h"

// TAP states, numbered as XSTATE and XWAIT name them.
inline constexpr std::uint8_t TAP_RESET = 0;
inline constexpr std::uint8_t TAP_IDLE = 1;
inline constexpr std::uint8_t TAP_SELECT_DR = 2;
inline constexpr std::uint8_t TAP_CAPTURE_DR = 3;
inline constexpr std::uint8_t TAP_SHIFT_DR = 4;
inline constexpr std::uint8_t TAP_EXIT1_DR = 5;
inline constexpr std::uint8_t TAP_PAUSE_DR = 6;
inline constexpr std::uint8_t TAP_EXIT2_DR = 7;
inline constexpr std::uint8_t TAP_UPDATE_DR = 8;
inline constexpr std::uint8_t TAP_SELECT_IR = 9;
inline constexpr std::uint8_t TAP_CAPTURE_IR = 10;
inline constexpr std::uint8_t TAP_SHIFT_IR = 11;
inline constexpr std::uint8_t TAP_EXIT1_IR = 12;
inline constexpr std::uint8_t TAP_PAUSE_IR = 13;
inline constexpr std::uint8_t TAP_EXIT2_IR = 14;
inline constexpr std::uint8_t TAP_UPDATE_IR = 15;

// Error code of a walk towards a state that cannot be reached from here.
inline constexpr std::int32_t TAP_ILLEGAL_STATE = 5;

// Whether moveTap from a state to a target succeeds: targets above 15 are no states, and the Exit2
// states are entered only from their Pause state. Shared by the player and the image validation.
inline bool tapMoveAllowed(std::uint8_t from, std::uint8_t target) {
    if (target == TAP_RESET) return true;
    if (target > TAP_UPDATE_IR) return false;
    if (target == from) return true;
    if (target == TAP_EXIT2_DR) return from == TAP_PAUSE_DR;
    if (target == TAP_EXIT2_IR) return from == TAP_PAUSE_IR;
    return true;
}

// One step of the walk towards target: the TMS level to clock and the state it leads to.
struct tagTapStep {
    bool tms;
    std::uint8_t next;
};
tagTapStep tapStep(std::uint8_t current, std::uint8_t target);

// Walks the TAP to target; returns 0, or 5 without clocking when target cannot be entered.
std::int32_t moveTap(std::uint8_t& tapState, std::uint8_t target, tagJtagPort* port);

// Clocks bits of tdi (bit 0 of the last byte first), capturing TDO when captured is given. With
// exitAtEnd the last bit's clock leaves the Shift state.
void shiftBits(std::int32_t bits, const tagBitVector& tdi, tagBitVector* captured, bool exitAtEnd,
               tagJtagPort* port);

// One complete scan with compare, retries and run-test wait; returns 0, 2 or 3. Run-test times are
// unsigned microseconds (see tap.cpp).
std::int32_t shiftTap(std::uint8_t& tapState, std::uint8_t startState, std::int32_t bits,
                      const tagBitVector& tdi, tagBitVector* captured, const tagBitVector* expected,
                      const tagBitVector* mask, std::uint8_t endState, std::uint32_t runTestTime,
                      std::uint8_t maxRepeat, tagJtagPort* port);

// count TCK pulses with TMS unchanged, one per microsecond of run-test time.
void waitTck(std::uint32_t count, tagJtagPort* port);

// The run-test time of the next attempt after a mismatch: 25 % longer, held below 2^32.
std::uint32_t longerRunTestTime(std::uint32_t runTestTime);
