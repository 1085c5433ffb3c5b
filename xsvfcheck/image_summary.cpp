// The image summary: one pass over the commands with the shared decoder, counting what a play that
// matches every compare would clock.
#include "xsvfcheck/image_summary.h"

#include <algorithm>
#include <span>

#include "xsvf/tap.h"

namespace {

// Big-endian value of the last four bytes of a vector (its first 32 bits shifted).
std::uint32_t lowWord(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    const std::size_t from = bytes.size() > 4 ? bytes.size() - 4 : 0;
    for (std::size_t i = from; i < bytes.size(); ++i) value = (value << 8) | bytes[i];
    return value;
}

class Summarizer {
public:
    Summarizer(const std::uint8_t* image, std::uint32_t size) : image_(image, size) {
        summary_.imageBytes = size;
    }

    tagImageSummary Run() {
        summary_.validation =
            validateXsvf(image_.data(), static_cast<std::uint32_t>(image_.size()));
        moveTo(TAP_RESET);  // the play starts with a TAP reset
        for (;;) {
            if (runTest_ == 0xFFFFFFFFu) runTest_ = 0;  // as the play loop does
            const tagXsvfCommand command = decodeXsvf(image_, offset_, lengths_);
            if (command.fault != XsvfFault::kNone) break;
            // A fault the decoder cannot see (a state argument) ends the walk where the player
            // would stop: the counts are those of the commands before it.
            if (summary_.validation.code != 0 && index_ == summary_.validation.commandIndex) break;
            ++summary_.commandCounts[command.code];
            if (command.code == XCOMPLETE) break;
            offset_ += command.length;
            Execute(command);
            ++index_;
        }
        return summary_;
    }

private:
    // As moveTap clocks it.
    void moveTo(std::uint8_t target) {
        if (target == TAP_RESET) {
            summary_.tckPulses += 6;
            state_ = TAP_RESET;
            tckHigh_ = true;
            return;
        }
        if (!tapMoveAllowed(state_, target)) return;
        if (target == state_ && (target == TAP_PAUSE_DR || target == TAP_PAUSE_IR)) {
            ++summary_.tckPulses;
            state_ = target == TAP_PAUSE_DR ? TAP_EXIT2_DR : TAP_EXIT2_IR;
            tckHigh_ = true;
        }
        while (state_ != target) {
            state_ = tapStep(state_, target).next;
            ++summary_.tckPulses;
            tckHigh_ = true;
        }
    }

    // A walk leaves TCK high, so the first pulse of a wait right after it raises no edge.
    void wait(std::uint64_t pulses) {
        summary_.runTestMicroseconds += pulses;
        if (pulses == 0) return;
        summary_.tckPulses += tckHigh_ ? pulses - 1 : pulses;
        tckHigh_ = false;
    }

    // As shiftTap clocks it when the compare matches.
    void scan(std::uint8_t start, std::uint32_t bits, std::uint8_t end, std::uint32_t runTest) {
        if (bits == 0) {
            if (runTest != 0) {
                moveTo(TAP_IDLE);
                wait(runTest);
            }
            return;
        }
        if (start == TAP_SHIFT_IR) {
            ++summary_.irScans;
            summary_.irBits += bits;
        } else {
            ++summary_.drScans;
            summary_.drBits += bits;
        }
        summary_.largestVectorBits = std::max(summary_.largestVectorBits, bits);
        moveTo(start);
        summary_.tckPulses += bits;
        tckHigh_ = true;
        if (start == end) return;
        state_ = static_cast<std::uint8_t>(start + 1);  // the last bit's clock left the Shift state
        moveTo(end);
        if (runTest != 0) {
            moveTo(TAP_IDLE);
            wait(runTest);
        }
    }

    void drScan(std::uint8_t end, std::uint32_t runTest) {
        scan(TAP_SHIFT_DR, static_cast<std::uint32_t>(lengths_.shiftBits), end, runTest);
    }

    // A compare of 32 bits while the IDCODE instruction is loaded names the expected device.
    void noteCompare(std::span<const std::uint8_t> expected, bool masked, std::int32_t index,
                     std::uint32_t offset) {
        if (!idcodeLoaded_ || lengths_.shiftBits != 32) return;
        tagExpectedIdcode id;
        id.mask = masked ? lowWord(std::span<const std::uint8_t>(mask_.data(), 4)) : 0xFFFFFFFFu;
        id.value = lowWord(expected) & id.mask;
        id.commandIndex = index;
        id.byteOffset = offset;
        for (const tagExpectedIdcode& seen : summary_.idcodes) {
            if (seen.value == id.value && seen.mask == id.mask) return;
        }
        summary_.idcodes.push_back(id);
    }

    void Execute(const tagXsvfCommand& x) {
        switch (x.code) {
            case XTDOMASK:
                // The player's mask buffer keeps bytes a shorter mask does not reach.
                std::copy_n(x.args[0].begin(), std::min<std::size_t>(x.args[0].size(), 4),
                            mask_.begin());
                return;
            case XSIR:
            case XSIR2: {
                const std::uint32_t bits = x.Number(0);
                idcodeLoaded_ =
                    bits == K740_IR_BITS && lowWord(x.args[1]) == K740_IDCODE_INSTRUCTION;
                return scan(TAP_SHIFT_IR, bits, endIR_, runTest_);
            }
            case XSDR:
                return drScan(endDR_, runTest_);
            case XSDRTDO:
                noteCompare(x.args[1], true, index_, x.offset);
                return drScan(endDR_, runTest_);
            case XSDRINC:
                for (std::uint32_t i = 0; i <= x.Number(1); ++i) drScan(endDR_, runTest_);
                return;
            case XSDRB:
            case XSDRC:
                return drScan(TAP_SHIFT_DR, 0);
            case XSDRTDOB:
            case XSDRTDOC:
                noteCompare(x.args[1], false, index_, x.offset);
                return drScan(TAP_SHIFT_DR, 0);
            case XSDRE:
                return drScan(endDR_, 0);
            case XSDRTDOE:
                noteCompare(x.args[1], false, index_, x.offset);
                return drScan(endDR_, 0);
            case XRUNTEST:
                runTest_ = x.Number(0);
                return;
            case XSTATE:
                return moveTo(static_cast<std::uint8_t>(x.Number(0)));
            case XENDIR:
                endIR_ = x.Number(0) == 0 ? TAP_IDLE : TAP_PAUSE_IR;
                return;
            case XENDDR:
                endDR_ = x.Number(0) == 0 ? TAP_IDLE : TAP_PAUSE_DR;
                return;
            case XWAIT: {
                const auto waitState = static_cast<std::uint8_t>(x.Number(0));
                const auto endState = static_cast<std::uint8_t>(x.Number(1));
                if (state_ != waitState) moveTo(waitState);
                wait(x.Number(2));
                if (state_ != endState) moveTo(endState);
                return;
            }
            default:
                return;
        }
    }

    std::span<const std::uint8_t> image_;
    std::uint32_t offset_ = 0;
    std::int32_t index_ = 0;
    tagXsvfLengths lengths_;
    tagImageSummary summary_;
    std::array<std::uint8_t, 4> mask_{};  // the first bytes of XTDOMASK: a 32-bit compare's
    std::uint8_t state_ = TAP_RESET;
    std::uint8_t endIR_ = TAP_IDLE;
    std::uint8_t endDR_ = TAP_IDLE;
    std::uint32_t runTest_ = 0;
    bool idcodeLoaded_ = false;
    bool tckHigh_ = false;  // the port opens with TCK low
};

}  // namespace

tagImageSummary summarizeXsvf(const std::uint8_t* image, std::uint32_t size) {
    if (image == nullptr) size = 0;
    return Summarizer(image, size).Run();
}
