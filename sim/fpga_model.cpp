// Instruction decoding, data registers and start-up sequencing of the simulated FPGA.
#include "sim/fpga_model.h"

namespace sim {

FpgaModel::FpgaModel(std::uint32_t idcode, std::uint32_t versionWord)
    : idcode_(idcode), running_(versionWord) {}

void FpgaModel::Reset() {
    ir_ = kIdcode;
    startupClocks_ = 0;
}

void FpgaModel::CaptureIr() {
    irShift_ = static_cast<std::uint8_t>(0x01 | (init_ ? 0x04 : 0) | (done_ ? 0x20 : 0));
}

void FpgaModel::ShiftIr(bool tdi) {
    irShift_ = static_cast<std::uint8_t>((irShift_ >> 1) | (tdi ? 1u << (kIrLength - 1) : 0));
}

void FpgaModel::UpdateIr() {
    ir_ = irShift_ & 0x3F;
    startupClocks_ = 0;
    if (ir_ == kJprogram) {
        configured_ = false;
        done_ = false;
        init_ = true;
        engine_.Reset();
    }
}

std::uint32_t FpgaModel::StatusWord() const {
    return (done_ ? 1u : 0) | (init_ ? 2u : 0) | (engine_.CrcError() ? 4u : 0) |
           (engine_.SyncSeen() ? 8u : 0) | (RunningVersion() & 0xFFFFFF00u);
}

void FpgaModel::CaptureDr() {
    drLength_ = 32;
    switch (ir_) {
        case kIdcode:
            drShift_ = idcode_;
            break;
        case kUsercode:
            drShift_ = configured_ ? running_ : 0xFFFFFFFFu;
            break;
        case kStatus:
            drShift_ = StatusWord();
            break;
        case kCfgIn:
            drShift_ = 0;
            break;
        default:
            drShift_ = 0;
            drLength_ = 1;
            break;
    }
}

void FpgaModel::ShiftDr(bool tdi) {
    if (ir_ == kCfgIn) {
        engine_.ShiftBit(tdi);
        if (engine_.CrcError()) init_ = false;
        return;
    }
    drShift_ = (drShift_ >> 1) | (static_cast<std::uint64_t>(tdi) << (drLength_ - 1));
}

bool FpgaModel::Tdo(bool ir) const {
    if (ir) return irShift_ & 1;
    return ir_ == kCfgIn ? false : (drShift_ & 1) != 0;
}

void FpgaModel::IdleClock() {
    if (ir_ != kJstart || done_) return;
    if (++startupClocks_ < kStartupClocks) return;
    if (!engine_.Loaded()) return;
    running_ = engine_.Version();
    configured_ = true;
    done_ = true;
    if (onStartup_) onStartup_(running_);
}

}  // namespace sim
