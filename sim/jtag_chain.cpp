// TAP controller walk of a simulated chain; actions happen on the rising edge, TDO on the falling
// one.
#include "sim/jtag_chain.h"

#include <utility>

namespace sim {

void JtagChain::SetFaults(const ChainFaults& faults) {
    tdoStuck_ = faults.tdoStuck;
    failAfterBits_ =
        faults.failAfterBits ? faults.failAfterBits : std::numeric_limits<std::uint64_t>::max();
    if (tdoStuck_ >= 0) tdo_ = tdoStuck_ != 0;
}

void JtagChain::RisingEdge(bool tms, bool tdi) {
    ++risingEdges_;
    if (failed_) return;
    TapState from = state_;
    TapState to = NextTapState(from, tms);
    switch (from) {
        case TapState::ShiftDr:
        case TapState::ShiftIr:
            if (tracing_) {
                scan_.tdi.Append(tdi);
                scan_.tdo.Append(tdo_);
            }
            if (from == TapState::ShiftDr) {
                device_->ShiftDr(tdi);
            } else {
                device_->ShiftIr(tdi);
            }
            if (++shiftedBits_ == failAfterBits_) failed_ = true;
            break;
        case TapState::CaptureDr:
            device_->CaptureDr();
            break;
        case TapState::CaptureIr:
            device_->CaptureIr();
            break;
        case TapState::RunTestIdle:
            device_->IdleClock();
            break;
        default:
            break;
    }
    state_ = to;
    if (to == TapState::UpdateDr) {
        device_->UpdateDr();
    } else if (to == TapState::UpdateIr) {
        device_->UpdateIr();
    } else if (to == TapState::TestLogicReset) {
        device_->Reset();
    }
    if (tracing_) RecordStep(from, to);
}

void JtagChain::FallingEdge() {
    if (tdoStuck_ >= 0) {
        tdo_ = tdoStuck_ != 0;
    } else if (failed_) {
        tdo_ = false;
    } else if (state_ == TapState::ShiftDr) {
        tdo_ = device_->Tdo(false);
    } else if (state_ == TapState::ShiftIr) {
        tdo_ = device_->Tdo(true);
    }
    // In every other state TDO is not driven and the line keeps its level.
}

void JtagChain::EnableTrace(bool keepInMemory, TraceFile* file, std::string prefix) {
    keepInMemory_ = keepInMemory;
    traceFile_ = file;
    tracePrefix_ = std::move(prefix);
    tracing_ = keepInMemory_ || traceFile_ != nullptr;
}

void JtagChain::RecordStep(TapState from, TapState to) {
    if (to == from) {
        if (from == TapState::RunTestIdle || from == TapState::TestLogicReset) {
            ++waitPulses_;
        } else if (!path_.empty()) {
            ++path_.back().extraPulses;
        }
        return;
    }
    if (waitPulses_) {
        TraceRecord wait{TraceRecord::Kind::Wait, {}, {}, {}, from, waitPulses_};
        waitPulses_ = 0;
        Emit(std::move(wait));
    }
    path_.push_back({to, 0});
    if (to == TapState::CaptureDr || to == TapState::CaptureIr) {
        inScan_ = true;
        scan_ =
            TraceRecord{to == TapState::CaptureIr ? TraceRecord::Kind::Ir : TraceRecord::Kind::Dr,
                        {},
                        {},
                        {},
                        {},
                        0};
    } else if (inScan_ && (to == TapState::UpdateDr || to == TapState::UpdateIr)) {
        inScan_ = false;
        scan_.path = std::move(path_);
        path_.clear();
        Emit(std::move(scan_));
    }
}

void JtagChain::FlushTrace() {
    if (!tracing_ || !waitPulses_) return;
    TraceRecord wait{TraceRecord::Kind::Wait, {}, {}, {}, state_, waitPulses_};
    waitPulses_ = 0;
    Emit(std::move(wait));
}

void JtagChain::Emit(TraceRecord&& record) {
    if (traceFile_) traceFile_->WriteLine(tracePrefix_ + record.Text());
    if (keepInMemory_) records_.push_back(std::move(record));
}

}  // namespace sim
