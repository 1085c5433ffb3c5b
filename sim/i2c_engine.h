// The graphics processor's generic I2C engine (registers 0x60D0-0x60EC) and a log of its bus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/version_device.h"

namespace sim {

struct I2cBusEvent {
    enum class Kind { Start, RepeatedStart, Stop, Sent, Received } kind;
    std::uint8_t byte = 0;
    bool ack = false;  // Sent: the device acknowledged; Received: the engine acknowledged
};

// Owned by its card. Register accesses come from the thread that drives the card; the bus log is
// read by tests afterwards.
class I2cEngine {
public:
    static constexpr std::uint32_t kControl = 0x60D0, kStatus = 0x60D8, kSpeed = 0x60DC,
                                   kSetup = 0x60E0, kTransaction = 0x60E4, kData = 0x60E8,
                                   kPinSelection = 0x60EC;
    static constexpr std::uint32_t kDoneBit = 0x10;

    explicit I2cEngine(VersionDevice& device) : device_(device) {}

    static bool Handles(std::uint32_t offset) {
        return offset >= kControl && offset <= kPinSelection;
    }
    std::uint32_t Read(std::uint32_t offset);
    void Write(std::uint32_t offset, std::uint32_t value);

    void SetNeverDone(bool neverDone) { neverDone_ = neverDone; }
    const std::vector<I2cBusEvent>& BusLog() const { return log_; }
    // e.g. "S D0+ 04+ Sr D1+ <00+ <07+ <02+ <01- P": "+"/"-" ack or not, "<" a received byte.
    std::string BusLogText() const;
    void ClearBusLog() { log_.clear(); }
    std::uint64_t StatusReads() const { return statusReads_; }
    std::uint64_t Transactions() const { return transactions_; }

private:
    void Run();
    bool Connected() const;

    VersionDevice& device_;
    std::uint32_t regs_[8] = {};  // by (offset - 0x60D0) / 4
    std::uint8_t buffer_[16] = {};
    unsigned loadIndex_ = 0;
    unsigned fetchIndex_ = 0;
    bool busActive_ = false;
    bool neverDone_ = false;
    std::uint64_t statusReads_ = 0;
    std::uint64_t transactions_ = 0;
    std::vector<I2cBusEvent> log_;
};

}  // namespace sim
