// Structural check of an XSVF image: the player's decoder and TAP walk without pins.
#include "xsvf/xsvf_validate.h"

#include <cstdio>
#include <span>

#include "xsvf/bit_vector.h"
#include "xsvf/tap.h"

namespace {

// TMS transitions a scan may spend walking to its start, end and wait states.
constexpr std::uint64_t kWalkPulses = 16;

std::string format(const char* pattern, unsigned a, unsigned b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

class Walker {
public:
    Walker(const std::uint8_t* image, std::uint32_t size) : image_(image, size) {}

    tagXsvfValidation Run() {
        addPulses(6);  // the play starts with a TAP reset
        while (result_.code == 0) {
            result_.commandIndex = result_.commandCount;
            if (runTestTime_ == 0xFFFFFFFFu) runTestTime_ = 0;  // as the play loop does
            const tagXsvfCommand command = decodeXsvf(image_, pos_, lengths_);
            result_.byteOffset = command.offset;
            result_.command = command.code;
            if (command.fault == XsvfFault::kEnd) {
                return fail(XSVF_ILLEGAL_COMMAND, "image ends before XCOMPLETE");
            }
            ++result_.commandCount;
            if (command.fault != XsvfFault::kNone) return failToDecode(command);
            if (command.code == XCOMPLETE) {
                result_.commandIndex = -1;
                return result_;
            }
            pos_ += command.length;
            execute(command);
        }
        return result_;
    }

private:
    tagXsvfValidation& fail(std::int32_t code, std::string reason) {
        result_.code = code;
        result_.reason = std::move(reason);
        return result_;
    }

    tagXsvfValidation& failToDecode(const tagXsvfCommand& command) {
        switch (command.fault) {
            case XsvfFault::kTruncated:
                return fail(command.error,
                            std::string("image ends inside ") + xsvfCommandName(command.code));
            case XsvfFault::kOverflow:
                return fail(command.error, format("XSDRSIZE of %u bits exceeds %u",
                                                  command.Number(0), XSVF_MAX_SHIFT_BITS));
            default:
                return fail(command.error, format("illegal command 0x%02X", command.code));
        }
    }

    void addPulses(std::uint64_t count) {
        std::uint64_t& total = result_.worstCaseTckPulses;
        total = count > UINT64_MAX - total ? UINT64_MAX : total + count;
    }

    // Pulses and resulting TAP state of shiftTap, with every compare failing.
    void scan(std::uint8_t start, std::int32_t bits, std::uint8_t end, std::uint32_t runTest,
              std::uint8_t repeats) {
        if (bits == 0) {
            if (runTest != 0) {
                addPulses(kWalkPulses + runTest);
                tapState_ = TAP_IDLE;
            }
            return;
        }
        bool exitAtEnd = start != end;
        std::uint32_t wait = runTest;
        for (int attempt = 0; attempt <= repeats; ++attempt) {
            addPulses(kWalkPulses + static_cast<std::uint64_t>(bits));
            if (!exitAtEnd) continue;
            if (wait != 0 && attempt < repeats) wait = longerRunTestTime(wait);
            addPulses(wait);
        }
        tapState_ = !exitAtEnd ? start : (runTest != 0 ? TAP_IDLE : end);
    }

    void maskedDrScan() {
        scan(TAP_SHIFT_DR, lengths_.shiftBits, endDR_, runTestTime_, maxRepeat_);
    }

    void moveTo(std::uint8_t target) {
        addPulses(kWalkPulses);
        if (tapMoveAllowed(tapState_, target)) tapState_ = target;
    }

    void state(std::uint8_t target) {
        if (tapMoveAllowed(tapState_, target)) {
            moveTo(target);
            return;
        }
        fail(XSVF_ILLEGAL_STATE,
             target > TAP_UPDATE_IR
                 ? format("XSTATE %u is no TAP state", target)
                 : format("XSTATE %u cannot be entered from state %u", target, tapState_));
    }

    void endState(std::uint8_t command, std::uint32_t value) {
        if (value > 1) {
            fail(XSVF_ILLEGAL_STATE,
                 std::string(xsvfCommandName(command)) + format(" argument %u", value));
        } else if (command == XENDIR) {
            endIR_ = value == 0 ? TAP_IDLE : TAP_PAUSE_IR;
        } else {
            endDR_ = value == 0 ? TAP_IDLE : TAP_PAUSE_DR;
        }
    }

    void wait(std::uint8_t waitState, std::uint8_t endState, std::uint32_t time) {
        if (tapState_ != waitState) moveTo(waitState);
        addPulses(time);
        if (tapState_ != endState) moveTo(endState);
    }

    // What a decoded command does to the TAP walk and the settings after it; XTDOMASK, XSDRSIZE,
    // XSETSDRMASKS and XCOMMENT change nothing the walk needs beyond what the decoder keeps.
    void execute(const tagXsvfCommand& x) {
        const std::int32_t shiftBits = lengths_.shiftBits;
        switch (x.code) {
            case XSIR:
            case XSIR2:
                return scan(TAP_SHIFT_IR, static_cast<std::int32_t>(x.Number(0)), endIR_,
                            runTestTime_, 0);
            case XSDR:
            case XSDRTDO:
                return maskedDrScan();
            case XSDRINC:
                for (std::uint32_t i = 0; i <= x.Number(1); ++i) maskedDrScan();
                return;
            case XRUNTEST:
                runTestTime_ = x.Number(0);
                return;
            case XREPEAT:
                maxRepeat_ = static_cast<std::uint8_t>(x.Number(0));
                return;
            case XSDRB:
            case XSDRC:
            case XSDRTDOB:
            case XSDRTDOC:
                return scan(TAP_SHIFT_DR, shiftBits, TAP_SHIFT_DR, 0, 0);
            case XSDRE:
            case XSDRTDOE:
                return scan(TAP_SHIFT_DR, shiftBits, endDR_, 0, 0);
            case XSTATE:
                return state(static_cast<std::uint8_t>(x.Number(0)));
            case XENDIR:
            case XENDDR:
                return endState(x.code, x.Number(0));
            case XWAIT:
                return wait(static_cast<std::uint8_t>(x.Number(0)),
                            static_cast<std::uint8_t>(x.Number(1)), x.Number(2));
            default:
                return;
        }
    }

    std::span<const std::uint8_t> image_;
    std::uint32_t pos_ = 0;
    tagXsvfLengths lengths_;
    tagXsvfValidation result_;
    std::uint8_t tapState_ = TAP_RESET;
    std::uint8_t endIR_ = TAP_IDLE;
    std::uint8_t endDR_ = TAP_IDLE;
    std::uint8_t maxRepeat_ = 0;
    std::uint32_t runTestTime_ = 0;
};

}  // namespace

tagXsvfValidation validateXsvf(const std::uint8_t* image, std::uint32_t size) {
    if (image == nullptr) size = 0;
    return Walker(image, size).Run();
}

std::string describeXsvfFault(const tagXsvfValidation& v) {
    if (v.code == 0) return {};
    char where[96];
    std::snprintf(where, sizeof where, " (command %d at byte offset %u, error code %d)",
                  static_cast<int>(v.commandIndex), static_cast<unsigned>(v.byteOffset),
                  static_cast<int>(v.code));
    return v.reason + where;
}
