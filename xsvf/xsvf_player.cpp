// XSVF interpreter: the play loop and what each decoded command does on the port.
#include "xsvf/xsvf_player.h"

#include <cstdlib>
#include <memory>

#include "xsvf/jtag_port.h"
#include "xsvf/play_stop.h"
#include "xsvf/tap.h"

namespace {

constexpr int kVectorCount = 7;

tagBitVector* contextVectors(tagXsvfContext& c, int index) {
    tagBitVector* vectors[kVectorCount] = {&c.tdi,     &c.tdoExpected, &c.tdoCaptured,
                                           &c.tdoMask, &c.addressMask, &c.dataMask,
                                           &c.nextData};
    return vectors[index];
}

using Command = tagXsvfCommand;

std::uint32_t runTest(const tagXsvfContext& c) { return static_cast<std::uint32_t>(c.runTestTime); }

// DR scan of XSDR, XSDRTDO and XSDRINC: capture, compare under tdoMask, endDR, retries.
std::int32_t maskedDrScan(tagXsvfContext& c, tagJtagPort* port) {
    c.comparedUnderMask = true;
    return shiftTap(c.tapState, TAP_SHIFT_DR, c.lengths.shiftBits, c.tdi, &c.tdoCaptured,
                    &c.tdoExpected, &c.tdoMask, c.endDR, runTest(c), c.maxRepeat, port);
}

void doComplete(tagXsvfContext& c, const Command&, tagJtagPort*) { c.complete = 1; }

void doTdoMask(tagXsvfContext& c, const Command& x, tagJtagPort*) {
    loadVector(c.tdoMask, x.args[0]);
}

// XSIR and XSIR2: the bit count, then the instruction.
void doSir(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    loadVector(c.tdi, x.args[1]);
    c.error = shiftTap(c.tapState, TAP_SHIFT_IR, static_cast<std::int32_t>(x.Number(0)), c.tdi,
                       nullptr, nullptr, nullptr, c.endIR, runTest(c), 0, port);
}

void doSdr(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    loadVector(c.tdi, x.args[0]);
    c.error = maskedDrScan(c, port);
}

void doRunTest(tagXsvfContext& c, const Command& x, tagJtagPort*) {
    c.runTestTime = static_cast<std::int32_t>(x.Number(0));
}

void doRepeat(tagXsvfContext& c, const Command& x, tagJtagPort*) {
    c.maxRepeat = static_cast<std::uint8_t>(x.Number(0));
}

// The decoder has taken the size (and refused sizes beyond the buffers).
void doSdrSize(tagXsvfContext&, const Command&, tagJtagPort*) {}

void doSdrTdo(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    loadVector(c.tdi, x.args[0]);
    loadVector(c.tdoExpected, x.args[1]);
    c.error = maskedDrScan(c, port);
}

void doSetSdrMasks(tagXsvfContext& c, const Command& x, tagJtagPort*) {
    loadVector(c.addressMask, x.args[0]);
    loadVector(c.dataMask, x.args[1]);
}

void doSdrInc(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    loadVector(c.tdi, x.args[0]);
    c.error = maskedDrScan(c, port);
    const std::uint32_t increments = x.Number(1);
    const std::size_t dataBytes = increments == 0 ? 0 : x.args[2].size() / increments;
    for (std::uint32_t i = 0; i < increments && c.error == 0; ++i) {
        loadVector(c.nextData, x.args[2].subspan(i * dataBytes, dataBytes));
        applyDataMask(c.tdi, c.nextData, c.addressMask, c.dataMask);
        c.error = maskedDrScan(c, port);
    }
}

// XSDRB, XSDRC, XSDRE: no capture, no compare, no run-test wait, no retries.
void plainDrScan(tagXsvfContext& c, const Command& x, std::uint8_t endState, tagJtagPort* port) {
    loadVector(c.tdi, x.args[0]);
    c.error = shiftTap(c.tapState, TAP_SHIFT_DR, c.lengths.shiftBits, c.tdi, nullptr, nullptr,
                       nullptr, endState, 0, 0, port);
}

void doSdrB(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    plainDrScan(c, x, TAP_SHIFT_DR, port);
}
void doSdrE(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    plainDrScan(c, x, c.endDR, port);
}

// XSDRTDOB, XSDRTDOC, XSDRTDOE: every bit compared, whatever XTDOMASK says.
void unmaskedDrScan(tagXsvfContext& c, const Command& x, std::uint8_t endState, tagJtagPort* port) {
    loadVector(c.tdi, x.args[0]);
    loadVector(c.tdoExpected, x.args[1]);
    c.error = shiftTap(c.tapState, TAP_SHIFT_DR, c.lengths.shiftBits, c.tdi, &c.tdoCaptured,
                       &c.tdoExpected, nullptr, endState, 0, 0, port);
}

void doSdrTdoB(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    unmaskedDrScan(c, x, TAP_SHIFT_DR, port);
}
void doSdrTdoE(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    unmaskedDrScan(c, x, c.endDR, port);
}

void doState(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    c.error = moveTap(c.tapState, static_cast<std::uint8_t>(x.Number(0)), port);
}

// XENDIR and XENDDR: 0 ends in Run-Test/Idle, 1 in the Pause state; anything else is refused.
void doEndIrDr(tagXsvfContext& c, const Command& x, tagJtagPort*) {
    const std::uint32_t value = x.Number(0);
    if (value > 1) {
        c.error = XSVF_ILLEGAL_STATE;
        return;
    }
    if (x.code == XENDIR) {
        c.endIR = value == 0 ? TAP_IDLE : TAP_PAUSE_IR;
    } else {
        c.endDR = value == 0 ? TAP_IDLE : TAP_PAUSE_DR;
    }
}

void doComment(tagXsvfContext&, const Command&, tagJtagPort*) {}

// The moves' errors are dropped: a wait towards a state that cannot be entered still waits.
void doWait(tagXsvfContext& c, const Command& x, tagJtagPort* port) {
    const auto waitState = static_cast<std::uint8_t>(x.Number(0));
    const auto endState = static_cast<std::uint8_t>(x.Number(1));
    if (c.tapState != waitState) moveTap(c.tapState, waitState, port);
    waitTck(x.Number(2), port);
    if (c.tapState != endState) moveTap(c.tapState, endState, port);
}

// Codes 5 and 6 never reach here: the decoder refuses them.
using Handler = void (*)(tagXsvfContext&, const Command&, tagJtagPort*);
constexpr Handler kHandlers[XSVF_COMMAND_COUNT] = {
    doComplete, doTdoMask, doSir,         doSdr,     doRunTest, nullptr, nullptr,   doRepeat,
    doSdrSize,  doSdrTdo,  doSetSdrMasks, doSdrInc,  doSdrB,    doSdrB,  doSdrE,    doSdrTdoB,
    doSdrTdoB,  doSdrTdoE, doState,       doEndIrDr, doEndIrDr, doSir,   doComment, doWait,
};

std::vector<std::uint8_t> copyBytes(const tagBitVector& vector, std::int32_t length) {
    return std::vector<std::uint8_t>(vector.data, vector.data + length);
}

tagXsvfFailure failureOf(const tagXsvfContext& c) {
    tagXsvfFailure failure;
    failure.commandIndex = c.commandIndex;
    failure.command = c.current.code;
    failure.code = c.error;
    failure.byteOffset = c.current.offset;
    if (c.error != XSVF_TDO_MISMATCH && c.error != XSVF_TDO_MISMATCH_RETRIES) return failure;
    failure.expected = copyBytes(c.tdoExpected, c.tdoExpected.length);
    failure.captured = copyBytes(c.tdoCaptured, c.tdoCaptured.length);
    if (c.comparedUnderMask) failure.mask = copyBytes(c.tdoMask, c.tdoExpected.length);
    return failure;
}

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

}  // namespace

std::int32_t stepXsvf(tagXsvfContext& context, tagJtagPort& port, tagImageCursor& cursor,
                      std::atomic<std::uint32_t>& percentDone) {
    context.commandIndex = context.commandCount;
    context.comparedUnderMask = false;
    context.current = decodeXsvf(cursor.image, cursor.offset, context.lengths);
    const tagXsvfCommand& command = context.current;
    if (command.fault == XsvfFault::kEnd) {
        context.error = command.error;
        return context.error;
    }
    ++context.commandCount;
    // A command that cannot be decoded has had its command byte read, nothing more.
    advanceImage(cursor, command.fault == XsvfFault::kNone ? command.length : 1, percentDone);
    if (command.fault != XsvfFault::kNone) {
        context.error = command.error;
        return context.error;
    }
    kHandlers[command.code](context, command, &port);
    return context.error;
}

tagXsvfFailure playXsvf(tagJtagPort& port, tagImageCursor& cursor,
                        std::atomic<std::uint32_t>& percentDone, const CPlayStop* stop) {
    // calloc: the buffers start zero-filled without touching pages the play never uses.
    std::unique_ptr<std::uint8_t, FreeDeleter> buffers[kVectorCount];
    for (auto& buffer : buffers) {
        buffer.reset(static_cast<std::uint8_t*>(std::calloc(BIT_VECTOR_CAPACITY, 1)));
        if (!buffer) {
            tagXsvfFailure failure;
            failure.code = XSVF_DATA_OVERFLOW;
            return failure;
        }
    }
    tagXsvfContext context;
    for (int i = 0; i < kVectorCount; ++i) contextVectors(context, i)->data = buffers[i].get();

    port.shiftStop = stop;
    port.shiftCut = false;
    context.error = moveTap(context.tapState, TAP_RESET, &port);
    while (context.error == 0 && context.complete == 0) {
        if (stop && stop->Requested()) {
            context.error = XSVF_STOPPED;
            break;
        }
        if (context.runTestTime == -1) context.runTestTime = 0;
        stepXsvf(context, port, cursor, percentDone);
        // A command cut short by the stop did not do what it says, whatever it reported.
        if (port.shiftCut) context.error = XSVF_STOPPED;
    }
    return context.error != 0 ? failureOf(context) : tagXsvfFailure{};
}

std::int32_t playXsvf(tagDeviceUpdate* record) {
    record->failure = playXsvf(*record, *record, record->percentDone);
    return record->failure.code;
}
