// The graphics processor's GPIO block as wired on a K740: TCK, TMS, TDI (three pins), TDO, two
// lines.
#pragma once

#include <cstdint>

#include "sim/jtag_chain.h"

namespace sim {

// Owned by its card; written by the thread that drives the card. A pin drives its output level when
// it is selected and output-enabled; TMS and TDI float high otherwise (JTAG pull-ups).
class GpioBlock {
public:
    static constexpr std::uint32_t kSelect = 0x1798, kOutput = 0x179C, kOutputEnable = 0x17A0,
                                   kInput = 0x17A4;
    static constexpr std::uint32_t kTck = 1u << 29, kTms = 1u << 5, kTdi = 0x3800, kTdo = 1u,
                                   kAux = 1u << 30, kEndPulse = 1u << 6;

    explicit GpioBlock(JtagChain& chain) : chain_(chain) {}

    void WriteSelect(std::uint32_t value) {
        select_ = value;
        Settle();
    }
    void WriteOutputEnable(std::uint32_t value) {
        enable_ = value;
        Settle();
    }
    void WriteOutput(std::uint32_t value) {
        output_ = value;
        Settle();
    }
    // Output-enabled pins read back their output level; bit 0 reads the chain's TDO.
    std::uint32_t Input() const {
        return (enable_ & output_) | (~enable_ & (chain_.Tdo() ? kTdo : 0u));
    }

    std::uint32_t Select() const { return select_; }
    std::uint32_t Output() const { return output_; }
    std::uint32_t OutputEnable() const { return enable_; }

    // Rising TCK edges whose three TDI pins did not all drive the same level.
    std::uint64_t TdiFaults() const { return tdiFaults_; }
    std::uint64_t EndPulses() const { return endPulses_; }
    bool AuxLevel() const { return (lines_ & kAux) != 0; }
    std::uint64_t AuxChanges() const { return auxChanges_; }

private:
    void Settle() {
        std::uint32_t driving = select_ & enable_;
        bool tck = (driving & output_ & kTck) != 0;
        if (tck != tckLevel_) {
            tckLevel_ = tck;
            if (tck) {
                chain_.RisingEdge(Tms(driving), Tdi(driving));
            } else {
                chain_.FallingEdge();
            }
        }
        std::uint32_t lines = driving & output_ & (kAux | kEndPulse);
        if (lines != lines_) NoteLines(lines);
    }
    bool Tms(std::uint32_t driving) const { return !(driving & kTms) || (output_ & kTms); }
    bool Tdi(std::uint32_t driving);
    void NoteLines(std::uint32_t lines);

    JtagChain& chain_;
    std::uint32_t select_ = 0, enable_ = 0, output_ = 0;
    bool tckLevel_ = false;
    std::uint32_t lines_ = 0;
    std::uint64_t tdiFaults_ = 0, endPulses_ = 0, auxChanges_ = 0;
};

}  // namespace sim
