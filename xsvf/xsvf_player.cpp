// XSVF interpreter: command dispatch, argument reading and the play loop.
#include "xsvf/xsvf_player.h"

#include <cstdlib>
#include <memory>

#include "xsvf/jtag_port.h"
#include "xsvf/tap.h"

namespace {

constexpr int kVectorCount = 7;
constexpr std::int64_t kMaxShiftBits = static_cast<std::int64_t>(BIT_VECTOR_CAPACITY) * 8;

tagBitVector* contextVectors(tagXsvfContext& c, int index) {
    tagBitVector* vectors[kVectorCount] = {&c.tdi,     &c.tdoExpected, &c.tdoCaptured,
                                           &c.tdoMask, &c.addressMask, &c.dataMask,
                                           &c.nextData};
    return vectors[index];
}

// The image must hold count more bytes for the command to be read at all; a command is never
// started when its arguments run past the end, so nothing is read past the last byte.
bool haveBytes(tagXsvfContext& c, tagDeviceUpdate* port, std::uint64_t count) {
    if (imageBytesLeft(port) >= count) return true;
    c.error = XSVF_ILLEGAL_COMMAND;
    return false;
}

std::uint32_t readNumber(tagXsvfContext& c, std::int32_t bytes, tagDeviceUpdate* port) {
    readVector(c.tdi, bytes, port);
    return static_cast<std::uint32_t>(vectorValue(c.tdi));
}

std::uint32_t runTest(const tagXsvfContext& c) { return static_cast<std::uint32_t>(c.runTestTime); }

// DR scan of XSDR, XSDRTDO and XSDRINC: capture, compare under tdoMask, endDR, retries.
std::int32_t maskedDrScan(tagXsvfContext& c, tagDeviceUpdate* port) {
    c.comparedUnderMask = true;
    return shiftTap(c.tapState, TAP_SHIFT_DR, c.shiftBits, c.tdi, &c.tdoCaptured, &c.tdoExpected,
                    &c.tdoMask, c.endDR, runTest(c), c.maxRepeat, port);
}

void irScan(tagXsvfContext& c, std::int32_t bits, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, static_cast<std::uint64_t>(vectorBytes(bits)))) return;
    readVector(c.tdi, vectorBytes(bits), port);
    c.error = shiftTap(c.tapState, TAP_SHIFT_IR, bits, c.tdi, nullptr, nullptr, nullptr, c.endIR,
                       runTest(c), 0, port);
}

void doComplete(tagXsvfContext& c, tagDeviceUpdate*) { c.complete = 1; }

void doTdoMask(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, static_cast<std::uint64_t>(c.shiftBytes))) return;
    readVector(c.tdoMask, c.shiftBytes, port);
}

void doSir(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 1)) return;
    irScan(c, readImageByte(port), port);
}

void doSir2(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 2)) return;
    irScan(c, static_cast<std::int32_t>(readNumber(c, 2, port)), port);
}

void doSdr(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, static_cast<std::uint64_t>(c.shiftBytes))) return;
    readVector(c.tdi, c.shiftBytes, port);
    c.error = maskedDrScan(c, port);
}

void doRunTest(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 4)) return;
    c.runTestTime = static_cast<std::int32_t>(readNumber(c, 4, port));
}

void doIllegal(tagXsvfContext& c, tagDeviceUpdate*) { c.error = XSVF_ILLEGAL_COMMAND; }

void doRepeat(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 1)) return;
    c.maxRepeat = readImageByte(port);
}

// Lengths of 2^31 bits and more are negative as int32 and would pass a byte-count test; they are
// refused with the overflow code like every other length beyond the buffers.
void doSdrSize(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 4)) return;
    std::uint32_t bits = readNumber(c, 4, port);
    if (bits > kMaxShiftBits) {
        c.error = XSVF_DATA_OVERFLOW;
        return;
    }
    c.shiftBits = static_cast<std::int32_t>(bits);
    c.shiftBytes = vectorBytes(c.shiftBits);
}

void doSdrTdo(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 2 * static_cast<std::uint64_t>(c.shiftBytes))) return;
    readVector(c.tdi, c.shiftBytes, port);
    readVector(c.tdoExpected, c.shiftBytes, port);
    c.error = maskedDrScan(c, port);
}

void doSetSdrMasks(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 2 * static_cast<std::uint64_t>(c.shiftBytes))) return;
    readVector(c.addressMask, c.shiftBytes, port);
    readVector(c.dataMask, c.shiftBytes, port);
}

void doSdrInc(tagXsvfContext& c, tagDeviceUpdate* port) {
    std::uint64_t startBytes = static_cast<std::uint64_t>(c.shiftBytes);
    if (!haveBytes(c, port, startBytes + 1)) return;
    std::int32_t dataBytes = vectorBytes(vectorOneBits(c.dataMask));
    std::uint8_t increments = port->imageCursor[startBytes];  // N, checked before any scan
    if (!haveBytes(c, port, startBytes + 1 + static_cast<std::uint64_t>(increments) * dataBytes)) {
        return;
    }
    readVector(c.tdi, c.shiftBytes, port);
    c.error = maskedDrScan(c, port);
    if (c.error != 0) return;
    increments = readImageByte(port);
    for (int i = 0; i < increments && c.error == 0; ++i) {
        readVector(c.nextData, dataBytes, port);
        applyDataMask(c.tdi, c.nextData, c.addressMask, c.dataMask);
        c.error = maskedDrScan(c, port);
    }
}

// XSDRB, XSDRC, XSDRE: no capture, no compare, no run-test wait, no retries.
void plainDrScan(tagXsvfContext& c, std::uint8_t endState, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, static_cast<std::uint64_t>(c.shiftBytes))) return;
    readVector(c.tdi, c.shiftBytes, port);
    c.error = shiftTap(c.tapState, TAP_SHIFT_DR, c.shiftBits, c.tdi, nullptr, nullptr, nullptr,
                       endState, 0, 0, port);
}

void doSdrB(tagXsvfContext& c, tagDeviceUpdate* port) { plainDrScan(c, TAP_SHIFT_DR, port); }
void doSdrE(tagXsvfContext& c, tagDeviceUpdate* port) { plainDrScan(c, c.endDR, port); }

// XSDRTDOB, XSDRTDOC, XSDRTDOE: every bit compared, whatever XTDOMASK says.
void unmaskedDrScan(tagXsvfContext& c, std::uint8_t endState, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 2 * static_cast<std::uint64_t>(c.shiftBytes))) return;
    readVector(c.tdi, c.shiftBytes, port);
    readVector(c.tdoExpected, c.shiftBytes, port);
    c.error = shiftTap(c.tapState, TAP_SHIFT_DR, c.shiftBits, c.tdi, &c.tdoCaptured, &c.tdoExpected,
                       nullptr, endState, 0, 0, port);
}

void doSdrTdoB(tagXsvfContext& c, tagDeviceUpdate* port) { unmaskedDrScan(c, TAP_SHIFT_DR, port); }
void doSdrTdoE(tagXsvfContext& c, tagDeviceUpdate* port) { unmaskedDrScan(c, c.endDR, port); }

void doState(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 1)) return;
    c.error = moveTap(c.tapState, readImageByte(port), port);
}

void doEndIr(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 1)) return;
    std::uint8_t value = readImageByte(port);
    if (value > 1) {
        c.error = XSVF_ILLEGAL_STATE;
        return;
    }
    c.endIR = value == 0 ? TAP_IDLE : TAP_PAUSE_IR;
}

void doEndDr(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 1)) return;
    std::uint8_t value = readImageByte(port);
    if (value > 1) {
        c.error = XSVF_ILLEGAL_STATE;
        return;
    }
    c.endDR = value == 0 ? TAP_IDLE : TAP_PAUSE_DR;
}

void doComment(tagXsvfContext& c, tagDeviceUpdate* port) {
    std::uint32_t left = imageBytesLeft(port);
    std::uint32_t length = 0;
    while (length < left && port->imageCursor[length] != 0) ++length;
    if (!haveBytes(c, port, static_cast<std::uint64_t>(length) + 1)) return;
    while (readImageByte(port) != 0) {
    }
}

// The moves' errors are dropped: a wait towards a state that cannot be entered still waits.
void doWait(tagXsvfContext& c, tagDeviceUpdate* port) {
    if (!haveBytes(c, port, 6)) return;
    std::uint8_t waitState = readImageByte(port);
    std::uint8_t endState = readImageByte(port);
    std::uint32_t time = readNumber(c, 4, port);
    if (c.tapState != waitState) moveTap(c.tapState, waitState, port);
    waitTck(time, port);
    if (c.tapState != endState) moveTap(c.tapState, endState, port);
}

using Handler = void (*)(tagXsvfContext&, tagDeviceUpdate*);
constexpr Handler kHandlers[XSVF_COMMAND_COUNT] = {
    doComplete, doTdoMask, doSir,         doSdr,    doRunTest, doIllegal, doIllegal, doRepeat,
    doSdrSize,  doSdrTdo,  doSetSdrMasks, doSdrInc, doSdrB,    doSdrB,    doSdrE,    doSdrTdoB,
    doSdrTdoB,  doSdrTdoE, doState,       doEndIr,  doEndDr,   doSir2,    doComment, doWait,
};

std::vector<std::uint8_t> copyBytes(const tagBitVector& vector, std::int32_t length) {
    return std::vector<std::uint8_t>(vector.data, vector.data + length);
}

void recordFailure(const tagXsvfContext& c, tagDeviceUpdate* port) {
    tagXsvfFailure& failure = port->failure;
    failure.commandIndex = c.commandIndex;
    failure.command = c.command;
    failure.code = c.error;
    failure.byteOffset = c.commandOffset;
    if (c.error != XSVF_TDO_MISMATCH && c.error != XSVF_TDO_MISMATCH_RETRIES) return;
    failure.expected = copyBytes(c.tdoExpected, c.tdoExpected.length);
    failure.captured = copyBytes(c.tdoCaptured, c.tdoCaptured.length);
    if (c.comparedUnderMask) failure.mask = copyBytes(c.tdoMask, c.tdoExpected.length);
}

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

}  // namespace

std::int32_t stepXsvf(tagXsvfContext& context, tagDeviceUpdate* port) {
    context.commandIndex = context.commandCount;
    context.commandOffset = context.imageStart != nullptr
                                ? static_cast<std::uint32_t>(port->imageCursor - context.imageStart)
                                : port->bytesConsumed;
    context.comparedUnderMask = false;
    if (imageBytesLeft(port) == 0) {
        // The image ended before XCOMPLETE.
        context.command = 0;
        context.error = XSVF_ILLEGAL_COMMAND;
        return context.error;
    }
    context.command = readImageByte(port);
    ++context.commandCount;
    Handler handler = context.command < XSVF_COMMAND_COUNT ? kHandlers[context.command] : doIllegal;
    handler(context, port);
    return context.error;
}

std::int32_t playXsvf(tagDeviceUpdate* port) {
    port->failure = tagXsvfFailure{};
    // calloc: the buffers start zero-filled without touching pages the play never uses.
    std::unique_ptr<std::uint8_t, FreeDeleter> buffers[kVectorCount];
    for (auto& buffer : buffers) {
        buffer.reset(static_cast<std::uint8_t*>(std::calloc(BIT_VECTOR_CAPACITY, 1)));
        if (!buffer) {
            port->failure.code = XSVF_DATA_OVERFLOW;
            return XSVF_DATA_OVERFLOW;
        }
    }
    tagXsvfContext context;
    for (int i = 0; i < kVectorCount; ++i) contextVectors(context, i)->data = buffers[i].get();
    context.imageStart = port->imageCursor;

    context.error = moveTap(context.tapState, TAP_RESET, port);
    while (context.error == 0 && context.complete == 0) {
        if (context.runTestTime == -1) context.runTestTime = 0;
        stepXsvf(context, port);
    }
    if (context.error != 0) recordFailure(context, port);
    return context.error;
}
