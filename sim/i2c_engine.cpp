// Transaction execution of the I2C engine: start, bytes from the buffer, received bytes, stop.
#include "sim/i2c_engine.h"

#include <cstdio>

namespace sim {

namespace {

constexpr std::uint32_t kGo = 0x1, kEnable = 0x8;
constexpr unsigned Slot(std::uint32_t offset) { return (offset - I2cEngine::kControl) / 4; }

}  // namespace

std::uint32_t I2cEngine::Read(std::uint32_t offset) {
    if (offset == kStatus) ++statusReads_;
    if (offset == kData) {
        return (std::uint32_t{buffer_[fetchIndex_]} << 8) | (fetchIndex_ << 16) |
               (regs_[Slot(kData)] & 1);
    }
    return regs_[Slot(offset)];
}

void I2cEngine::Write(std::uint32_t offset, std::uint32_t value) {
    switch (offset) {
        case kStatus:
            return;  // read only
        case kData: {
            unsigned index = (value >> 16) & 0xF;
            regs_[Slot(kData)] = value;
            if (value & 1) {
                if (value & 0x80000000u) fetchIndex_ = index;
                return;
            }
            if (value & 0x80000000u) loadIndex_ = index;
            buffer_[loadIndex_] = static_cast<std::uint8_t>(value >> 8);
            loadIndex_ = (loadIndex_ + 1) & 0xF;
            return;
        }
        case kControl:
            regs_[Slot(kControl)] = value;
            if (!(value & kGo)) return;
            regs_[Slot(kStatus)] &= ~kDoneBit;
            // A disabled engine, or one whose done bit is held back, never finishes.
            if (neverDone_ || !(value & kEnable)) return;
            Run();
            regs_[Slot(kControl)] &= ~kGo;
            regs_[Slot(kStatus)] |= kDoneBit;
            return;
        default:
            regs_[Slot(offset)] = value;
            return;
    }
}

bool I2cEngine::Connected() const {
    std::uint32_t pins = regs_[Slot(kPinSelection)];
    return (pins & 0x7F) == 0x29 && ((pins >> 8) & 0x7F) == 0x28;
}

void I2cEngine::Run() {
    ++transactions_;
    std::uint32_t t = regs_[Slot(kTransaction)];
    bool read = t & 0x1, ack = t & 0x200, start = t & 0x1000, stop = t & 0x2000;
    unsigned bytes = ((t >> 16) & 0xF) + 1;
    bool connected = Connected();
    unsigned i = 0;
    if (start) {
        log_.push_back({busActive_ ? I2cBusEvent::Kind::RepeatedStart : I2cBusEvent::Kind::Start});
        busActive_ = true;
        bool acked = connected && device_.Address(buffer_[0]);
        log_.push_back({I2cBusEvent::Kind::Sent, buffer_[0], acked});
        i = 1;
    }
    for (; i < bytes; ++i) {
        if (!read) {
            bool acked = connected && device_.Write(buffer_[i]);
            log_.push_back({I2cBusEvent::Kind::Sent, buffer_[i], acked});
            continue;
        }
        std::uint8_t byte = connected ? device_.Read() : 0xFF;
        buffer_[i] = byte;
        bool last = i + 1 == bytes;
        log_.push_back({I2cBusEvent::Kind::Received, byte, !last || ack});
    }
    if (stop) {
        log_.push_back({I2cBusEvent::Kind::Stop});
        busActive_ = false;
        device_.Stop();
    }
}

std::string I2cEngine::BusLogText() const {
    std::string text;
    char hex[8];
    for (const auto& e : log_) {
        if (!text.empty()) text += ' ';
        switch (e.kind) {
            case I2cBusEvent::Kind::Start:
                text += "S";
                break;
            case I2cBusEvent::Kind::RepeatedStart:
                text += "Sr";
                break;
            case I2cBusEvent::Kind::Stop:
                text += "P";
                break;
            case I2cBusEvent::Kind::Sent:
            case I2cBusEvent::Kind::Received:
                std::snprintf(hex, sizeof hex, "%s%02X%c",
                              e.kind == I2cBusEvent::Kind::Received ? "<" : "", e.byte,
                              e.ack ? '+' : '-');
                text += hex;
                break;
        }
    }
    return text;
}

}  // namespace sim
