// TAP controller walk, bit shifting, scans with compare and retry, and run-test waits.
//
// Run-test times are taken as unsigned 32-bit microseconds. XSVF writes them as unsigned numbers,
// so a time of 0x80000000..0xFFFFFFFE asks for that many TCK pulses; reading it as a negative
// count would visit Run-Test/Idle (and take the Pause-DR detour) and then not wait at all, which
// would cut the programming time the device asked for. 0xFFFFFFFF is reset to 0 by the player.
#include "xsvf/tap.h"

#include "xsvf/jtag_port.h"
#include "xsvf/play_stop.h"
#include "xsvf/port_trace.h"

namespace {

// A stop is looked at once per this many bytes of a vector, and pulses of a run-test wait: a few
// milliseconds of register writes at the slowest pacing, and nothing measurable per bit. A vector
// of this size or less is always shifted whole.
constexpr std::int32_t kStopCheckBytes = 512;
constexpr std::uint32_t kStopCheckPulses = 4096;

// Whether a requested stop ends the shift or wait here, before byte `done` (or pulse); the cut is
// kept on the port for the player. A vector of 16 M bits takes about a minute of pin writes, and
// the one who stops the plays must not wait that long with the card's display driver off.
bool cutForStop(std::uint32_t done, std::uint32_t every, tagJtagPort* port) {
    if (done == 0 || (done & (every - 1)) != 0) return false;
    if (port->shiftStop == nullptr || !port->shiftStop->Requested()) return false;
    port->shiftCut = true;
    return true;
}

bool cutShiftForStop(const tagBitVector& tdi, std::int32_t index, tagJtagPort* port) {
    return cutForStop(static_cast<std::uint32_t>(tdi.length - 1 - index), kStopCheckBytes, port);
}

// The rising edge about to be clocked, with the TDO level the falling edge before it latched.
void traceEdge(tagJtagPort* port) {
    CPortTrace& trace = *port->trace;
    const bool tdo = trace.Shifting() && (readTdo(port) & 1) != 0;
    trace.Edge((port->gpioOut & GPIO_TMS_MASK) != 0, (port->gpioOut & GPIO_TDI_MASK) != 0, tdo);
}

// A falling and a rising edge. The walk's edges are few per scan, so the trace is asked at each.
void clockEdge(tagJtagPort* port) {
    setJtagPin(JTAG_TCK, false, port);
    if (port->trace) traceEdge(port);
    setJtagPin(JTAG_TCK, true, port);
}

void tmsTransition(bool tms, tagJtagPort* port) {
    setJtagPin(JTAG_TMS, tms, port);
    clockEdge(port);
}

// shiftBits with the trace on: TDO is read at every bit, captured or not, as the trace shows it.
// Kept out of line, so the loop without the trace is compiled as it was.
[[gnu::noinline]] void shiftBitsTraced(std::int32_t bits, const tagBitVector& tdi,
                                       tagBitVector* captured, bool exitAtEnd, tagJtagPort* port) {
    if (captured != nullptr) captured->length = tdi.length;
    std::int32_t left = bits;
    for (std::int32_t index = tdi.length - 1; index >= 0 && left > 0; --index) {
        if (cutShiftForStop(tdi, index, port)) return;
        std::uint8_t byte = tdi.data[index];
        std::uint8_t capture = 0;
        for (int i = 0; i < 8 && left > 0; ++i) {
            --left;
            if (exitAtEnd && left == 0) setJtagPin(JTAG_TMS, true, port);
            const bool bit = ((byte >> i) & 1) != 0;
            setJtagPin(JTAG_TDI, bit, port);
            setJtagPin(JTAG_TCK, false, port);
            const std::uint32_t tdo = readTdo(port) & 1;
            capture = static_cast<std::uint8_t>(capture | (tdo << i));
            port->trace->Edge((port->gpioOut & GPIO_TMS_MASK) != 0, bit, tdo != 0);
            setJtagPin(JTAG_TCK, true, port);
        }
        if (captured != nullptr) captured->data[index] = capture;
    }
}

// waitTck with the trace on. A pulse raises TCK first, so one that starts with TCK high (after a
// walk) gives no rising edge: the trace counts the edges the chain saw.
[[gnu::noinline]] void waitTckTraced(std::uint32_t count, tagJtagPort* port) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (cutForStop(i, kStopCheckPulses, port)) return;
        if ((port->gpioOut & GPIO_TCK_MASK) == 0) traceEdge(port);
        pulseTck(port);
    }
}

}  // namespace

tagTapStep tapStep(std::uint8_t current, std::uint8_t target) {
    switch (current) {
        case TAP_RESET:
            return {false, TAP_IDLE};
        case TAP_IDLE:
            return {true, TAP_SELECT_DR};
        case TAP_SELECT_DR:
            return target >= TAP_SELECT_IR ? tagTapStep{true, TAP_SELECT_IR}
                                           : tagTapStep{false, TAP_CAPTURE_DR};
        case TAP_CAPTURE_DR:
            return target == TAP_SHIFT_DR ? tagTapStep{false, TAP_SHIFT_DR}
                                          : tagTapStep{true, TAP_EXIT1_DR};
        case TAP_SHIFT_DR:
            return {true, TAP_EXIT1_DR};
        case TAP_EXIT1_DR:
            return target == TAP_PAUSE_DR ? tagTapStep{false, TAP_PAUSE_DR}
                                          : tagTapStep{true, TAP_UPDATE_DR};
        case TAP_PAUSE_DR:
            return {true, TAP_EXIT2_DR};
        case TAP_EXIT2_DR:
            return target == TAP_SHIFT_DR ? tagTapStep{false, TAP_SHIFT_DR}
                                          : tagTapStep{true, TAP_UPDATE_DR};
        case TAP_UPDATE_DR:
        case TAP_UPDATE_IR:
            return target == TAP_IDLE ? tagTapStep{false, TAP_IDLE}
                                      : tagTapStep{true, TAP_SELECT_DR};
        case TAP_SELECT_IR:
            return {false, TAP_CAPTURE_IR};
        case TAP_CAPTURE_IR:
            return target == TAP_SHIFT_IR ? tagTapStep{false, TAP_SHIFT_IR}
                                          : tagTapStep{true, TAP_EXIT1_IR};
        case TAP_SHIFT_IR:
            return {true, TAP_EXIT1_IR};
        case TAP_EXIT1_IR:
            return target == TAP_PAUSE_IR ? tagTapStep{false, TAP_PAUSE_IR}
                                          : tagTapStep{true, TAP_UPDATE_IR};
        case TAP_PAUSE_IR:
            return {true, TAP_EXIT2_IR};
        case TAP_EXIT2_IR:
            return target == TAP_SHIFT_IR ? tagTapStep{false, TAP_SHIFT_IR}
                                          : tagTapStep{true, TAP_UPDATE_IR};
        default:
            // Not a state: TMS high five times reaches Test-Logic-Reset from anywhere.
            return {true, TAP_RESET};
    }
}

std::int32_t moveTap(std::uint8_t& tapState, std::uint8_t target, tagJtagPort* port) {
    if (target == TAP_RESET) {
        tmsTransition(true, port);
        for (int i = 0; i < 5; ++i) clockEdge(port);
        tapState = TAP_RESET;
        return 0;
    }
    if (!tapMoveAllowed(tapState, target)) return TAP_ILLEGAL_STATE;
    if (target == tapState) {
        if (target == TAP_PAUSE_DR) {
            tmsTransition(true, port);
            tapState = TAP_EXIT2_DR;
        } else if (target == TAP_PAUSE_IR) {
            tmsTransition(true, port);
            tapState = TAP_EXIT2_IR;
        }
    }
    while (tapState != target) {
        tagTapStep step = tapStep(tapState, target);
        tmsTransition(step.tms, port);
        tapState = step.next;
    }
    return 0;
}

void shiftBits(std::int32_t bits, const tagBitVector& tdi, tagBitVector* captured, bool exitAtEnd,
               tagJtagPort* port) {
    if (port->trace) {
        shiftBitsTraced(bits, tdi, captured, exitAtEnd, port);
        return;
    }
    if (captured != nullptr) captured->length = tdi.length;
    std::int32_t left = bits;
    for (std::int32_t index = tdi.length - 1; index >= 0 && left > 0; --index) {
        if (cutShiftForStop(tdi, index, port)) return;
        std::uint8_t byte = tdi.data[index];
        std::uint8_t capture = 0;
        for (int i = 0; i < 8 && left > 0; ++i) {
            --left;
            if (exitAtEnd && left == 0) setJtagPin(JTAG_TMS, true, port);
            setJtagPin(JTAG_TDI, ((byte >> i) & 1) != 0, port);
            setJtagPin(JTAG_TCK, false, port);
            if (captured != nullptr) {
                capture = static_cast<std::uint8_t>(capture | ((readTdo(port) & 1) << i));
            }
            setJtagPin(JTAG_TCK, true, port);
        }
        if (captured != nullptr) captured->data[index] = capture;
    }
}

std::uint32_t longerRunTestTime(std::uint32_t runTestTime) {
    std::uint64_t longer = static_cast<std::uint64_t>(runTestTime) + (runTestTime >> 2);
    return longer > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(longer);
}

std::int32_t shiftTap(std::uint8_t& tapState, std::uint8_t startState, std::int32_t bits,
                      const tagBitVector& tdi, tagBitVector* captured, const tagBitVector* expected,
                      const tagBitVector* mask, std::uint8_t endState, std::uint32_t runTestTime,
                      std::uint8_t maxRepeat, tagJtagPort* port) {
    bool exitAtEnd = startState != endState;
    bool mismatch = false;
    std::uint8_t repeat = 0;
    if (bits == 0) {
        if (runTestTime != 0) {
            moveTap(tapState, TAP_IDLE, port);
            waitTck(runTestTime, port);
        }
        return 0;
    }
    for (;;) {
        moveTap(tapState, startState, port);
        shiftBits(bits, tdi, captured, exitAtEnd, port);
        // A cut vector compares as nothing: the player ends the play as stopped.
        if (port->shiftCut) return 0;
        if (expected != nullptr) mismatch = !vectorsEqual(*expected, *captured, mask);
        if (exitAtEnd) {
            ++tapState;  // the last bit's clock moved Shift to Exit1
            if (mismatch && runTestTime != 0 && repeat < maxRepeat) {
                moveTap(tapState, TAP_PAUSE_DR, port);
                moveTap(tapState, TAP_SHIFT_DR, port);
                runTestTime = longerRunTestTime(runTestTime);
            } else {
                moveTap(tapState, endState, port);
            }
            if (runTestTime != 0) {
                moveTap(tapState, TAP_IDLE, port);
                waitTck(runTestTime, port);
            }
        }
        if (!mismatch || repeat >= maxRepeat) break;
        ++repeat;
    }
    if (!mismatch) return 0;
    return maxRepeat != 0 ? 3 : 2;
}

void waitTck(std::uint32_t count, tagJtagPort* port) {
    if (port->trace) {
        waitTckTraced(count, port);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (cutForStop(i, kStopCheckPulses, port)) return;
        pulseTck(port);
    }
}
