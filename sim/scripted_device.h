// A JTAG device for conformance work: answers each scan from a script and records what it received.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/jtag_device.h"
#include "sim/jtag_trace.h"

namespace sim {

enum class ScanKind { Any, Ir, Dr };

// One scripted answer: the TDO bits of the next scan (first bit shifted out = bit 0). A scan longer
// than the answer reads 0 after its end.
struct ScriptStep {
    ScanKind kind = ScanKind::Any;
    TraceBits tdo;

    // tdoHex is a value written most significant digit first; bits defaults to 4 per digit.
    static std::optional<ScriptStep> FromHex(ScanKind kind, const std::string& tdoHex,
                                             std::optional<std::uint64_t> bits = std::nullopt);
};

struct ReceivedScan {
    ScanKind kind = ScanKind::Dr;  // Ir or Dr
    TraceBits tdi;
    bool scripted = false;    // a script step answered it
    bool kindMatched = true;  // the step's kind was Any or this scan's kind
};

// Owned by its card; called on the thread that drives the card.
class ScriptedJtagDevice : public JtagDevice {
public:
    void Append(ScriptStep step) { script_.push_back(std::move(step)); }
    const std::vector<ScriptStep>& Script() const { return script_; }
    const std::vector<ReceivedScan>& Received() const { return received_; }
    std::size_t Answered() const { return next_; }
    // Scans whose kind disagreed with the step that answered them, plus scans the script ran out
    // for.
    std::size_t Deviations() const;

    void Reset() override {}
    void CaptureIr() override { Capture(ScanKind::Ir); }
    void ShiftIr(bool tdi) override { Shift(tdi); }
    void UpdateIr() override {}
    void CaptureDr() override { Capture(ScanKind::Dr); }
    void ShiftDr(bool tdi) override { Shift(tdi); }
    void UpdateDr() override {}
    void IdleClock() override {}
    bool Tdo(bool ir) const override;

private:
    void Capture(ScanKind kind);
    void Shift(bool tdi);

    std::vector<ScriptStep> script_;
    std::vector<ReceivedScan> received_;
    std::size_t next_ = 0;
    std::size_t current_ = kNone;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::uint64_t position_ = 0;
};

}  // namespace sim
