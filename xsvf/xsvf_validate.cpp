// Structural check of an XSVF image: the player's reading order and TAP walk without pins.
#include "xsvf/xsvf_validate.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "xsvf/bit_vector.h"
#include "xsvf/tap.h"
#include "xsvf/xsvf_player.h"

namespace {

constexpr std::uint64_t kMaxShiftBits = static_cast<std::uint64_t>(BIT_VECTOR_CAPACITY) * 8;
// TMS transitions a scan may spend walking to its start, end and wait states.
constexpr std::uint64_t kWalkPulses = 16;

std::string format(const char* pattern, unsigned a, unsigned b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

class Walker {
public:
    Walker(const std::uint8_t* image, std::uint32_t size) : image_(image), size_(size) {}

    tagXsvfValidation Run() {
        addPulses(6);  // the play starts with a TAP reset
        while (result_.code == 0) {
            result_.commandIndex = result_.commandCount;
            result_.byteOffset = pos_;
            if (pos_ >= size_) {
                result_.command = 0;
                return fail(XSVF_ILLEGAL_COMMAND, "image ends before XCOMPLETE");
            }
            result_.command = image_[pos_++];
            ++result_.commandCount;
            if (runTestTime_ == 0xFFFFFFFFu) runTestTime_ = 0;  // as the play loop does
            if (result_.command == XCOMPLETE) {
                result_.commandIndex = -1;
                return result_;
            }
            step(result_.command);
        }
        return result_;
    }

private:
    tagXsvfValidation& fail(std::int32_t code, std::string reason) {
        result_.code = code;
        result_.reason = std::move(reason);
        return result_;
    }

    bool need(std::uint64_t count) {
        if (size_ - pos_ >= count) return true;
        fail(XSVF_ILLEGAL_COMMAND,
             std::string("image ends inside ") + xsvfCommandName(result_.command));
        return false;
    }

    std::uint32_t number(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = (value << 8) | image_[pos_++];
        return value;
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

    void maskedDrScan() { scan(TAP_SHIFT_DR, shiftBits_, endDR_, runTestTime_, maxRepeat_); }

    void irScan(std::int32_t bits) {
        if (!need(static_cast<std::uint64_t>(vectorBytes(bits)))) return;
        pos_ += static_cast<std::uint32_t>(vectorBytes(bits));
        scan(TAP_SHIFT_IR, bits, endIR_, runTestTime_, 0);
    }

    void moveTo(std::uint8_t target) {
        addPulses(kWalkPulses);
        if (tapMoveAllowed(tapState_, target)) tapState_ = target;
    }

    void step(std::uint8_t command) {
        std::uint64_t shiftBytes = static_cast<std::uint64_t>(vectorBytes(shiftBits_));
        switch (command) {
            case XTDOMASK:
                if (need(shiftBytes)) pos_ += static_cast<std::uint32_t>(shiftBytes);
                return;
            case XSIR:
                if (need(1)) irScan(number(1));
                return;
            case XSIR2:
                if (need(2)) irScan(static_cast<std::int32_t>(number(2)));
                return;
            case XSDR:
                if (!need(shiftBytes)) return;
                pos_ += static_cast<std::uint32_t>(shiftBytes);
                maskedDrScan();
                return;
            case XRUNTEST:
                if (need(4)) runTestTime_ = number(4);
                return;
            case XREPEAT:
                if (need(1)) maxRepeat_ = static_cast<std::uint8_t>(number(1));
                return;
            case XSDRSIZE: {
                if (!need(4)) return;
                std::uint32_t bits = number(4);
                if (bits > kMaxShiftBits) {
                    fail(XSVF_DATA_OVERFLOW, format("XSDRSIZE of %u bits exceeds %u", bits,
                                                    static_cast<unsigned>(kMaxShiftBits)));
                    return;
                }
                shiftBits_ = static_cast<std::int32_t>(bits);
                return;
            }
            case XSDRTDO:
                if (!need(2 * shiftBytes)) return;
                pos_ += static_cast<std::uint32_t>(2 * shiftBytes);
                maskedDrScan();
                return;
            case XSETSDRMASKS: {
                if (!need(2 * shiftBytes)) return;
                pos_ += static_cast<std::uint32_t>(shiftBytes);
                dataMaskOnes_ = 0;
                for (std::uint64_t i = 0; i < shiftBytes; ++i) {
                    dataMaskOnes_ += std::popcount(image_[pos_++]);
                }
                return;
            }
            case XSDRINC: {
                if (!need(shiftBytes + 1)) return;
                std::uint8_t increments = image_[pos_ + shiftBytes];
                std::uint64_t dataBytes = static_cast<std::uint64_t>(vectorBytes(dataMaskOnes_));
                if (!need(shiftBytes + 1 + increments * dataBytes)) return;
                pos_ += static_cast<std::uint32_t>(shiftBytes + 1 + increments * dataBytes);
                for (int i = 0; i <= increments; ++i) maskedDrScan();
                return;
            }
            case XSDRB:
            case XSDRC:
            case XSDRE:
                if (!need(shiftBytes)) return;
                pos_ += static_cast<std::uint32_t>(shiftBytes);
                scan(TAP_SHIFT_DR, shiftBits_, command == XSDRE ? endDR_ : TAP_SHIFT_DR, 0, 0);
                return;
            case XSDRTDOB:
            case XSDRTDOC:
            case XSDRTDOE:
                if (!need(2 * shiftBytes)) return;
                pos_ += static_cast<std::uint32_t>(2 * shiftBytes);
                scan(TAP_SHIFT_DR, shiftBits_, command == XSDRTDOE ? endDR_ : TAP_SHIFT_DR, 0, 0);
                return;
            case XSTATE: {
                if (!need(1)) return;
                std::uint8_t target = static_cast<std::uint8_t>(number(1));
                if (!tapMoveAllowed(tapState_, target)) {
                    fail(XSVF_ILLEGAL_STATE,
                         target > TAP_UPDATE_IR
                             ? format("XSTATE %u is no TAP state", target)
                             : format("XSTATE %u cannot be entered from state %u", target,
                                      tapState_));
                    return;
                }
                moveTo(target);
                return;
            }
            case XENDIR:
            case XENDDR: {
                if (!need(1)) return;
                std::uint8_t value = static_cast<std::uint8_t>(number(1));
                if (value > 1) {
                    fail(XSVF_ILLEGAL_STATE,
                         std::string(xsvfCommandName(command)) + format(" argument %u", value));
                    return;
                }
                if (command == XENDIR) {
                    endIR_ = value == 0 ? TAP_IDLE : TAP_PAUSE_IR;
                } else {
                    endDR_ = value == 0 ? TAP_IDLE : TAP_PAUSE_DR;
                }
                return;
            }
            case XCOMMENT: {
                const std::uint8_t* end = std::find(image_ + pos_, image_ + size_, 0);
                if (!need(static_cast<std::uint64_t>(end - (image_ + pos_)) + 1)) return;
                pos_ = static_cast<std::uint32_t>(end - image_) + 1;
                return;
            }
            case XWAIT: {
                if (!need(6)) return;
                std::uint8_t waitState = static_cast<std::uint8_t>(number(1));
                std::uint8_t endState = static_cast<std::uint8_t>(number(1));
                std::uint32_t time = number(4);
                if (tapState_ != waitState) moveTo(waitState);
                addPulses(time);
                if (tapState_ != endState) moveTo(endState);
                return;
            }
            default:
                fail(XSVF_ILLEGAL_COMMAND, format("illegal command 0x%02X", command));
                return;
        }
    }

    const std::uint8_t* image_;
    std::uint32_t size_;
    std::uint32_t pos_ = 0;
    tagXsvfValidation result_;
    std::uint8_t tapState_ = TAP_RESET;
    std::uint8_t endIR_ = TAP_IDLE;
    std::uint8_t endDR_ = TAP_IDLE;
    std::uint8_t maxRepeat_ = 0;
    std::uint32_t runTestTime_ = 0;
    std::int32_t shiftBits_ = 0;
    std::int32_t dataMaskOnes_ = 0;
};

}  // namespace

const char* xsvfCommandName(std::uint8_t command) {
    static const char* const kNames[XSVF_COMMAND_COUNT] = {
        "XCOMPLETE", "XTDOMASK", "XSIR",     "XSDR",     "XRUNTEST",     "illegal",
        "illegal",   "XREPEAT",  "XSDRSIZE", "XSDRTDO",  "XSETSDRMASKS", "XSDRINC",
        "XSDRB",     "XSDRC",    "XSDRE",    "XSDRTDOB", "XSDRTDOC",     "XSDRTDOE",
        "XSTATE",    "XENDIR",   "XENDDR",   "XSIR2",    "XCOMMENT",     "XWAIT"};
    return command < XSVF_COMMAND_COUNT ? kNames[command] : "illegal";
}

tagXsvfValidation validateXsvf(const std::uint8_t* image, std::uint32_t size) {
    if (image == nullptr) size = 0;
    return Walker(image, size).Run();
}
