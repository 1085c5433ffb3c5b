// A card's JTAG chain: the TAP controller in front of one device, with faults and an activity
// trace.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "sim/jtag_device.h"
#include "sim/jtag_trace.h"
#include "sim/tap_state.h"

namespace sim {

struct ChainFaults {
    int tdoStuck = -1;                // -1: none; 0 or 1: TDO reads that level whatever happens
    std::uint64_t failAfterBits = 0;  // 0: never; N: the chain goes dead after N shifted bits
};

// Owned by its card; driven only by the thread that drives the card (no locking inside).
class JtagChain {
public:
    explicit JtagChain(JtagDevice* device) : device_(device) {}

    void SetDevice(JtagDevice* device) { device_ = device; }
    JtagDevice* Device() const { return device_; }
    void SetFaults(const ChainFaults& faults);

    // Pin events from the GPIO block.
    void RisingEdge(bool tms, bool tdi);
    void FallingEdge();
    bool Tdo() const { return tdo_; }

    TapState State() const { return state_; }
    std::uint64_t ShiftedBits() const { return shiftedBits_; }
    std::uint64_t RisingEdges() const { return risingEdges_; }
    bool Failed() const { return failed_; }

    // Starts recording: in memory (Records) and/or as lines "<prefix><record text>" in a file.
    void EnableTrace(bool keepInMemory, TraceFile* file, std::string prefix);
    const std::vector<TraceRecord>& Records() const { return records_; }
    // Emits a wait still in progress (call before reading Records or ending the process).
    void FlushTrace();

private:
    void RecordStep(TapState from, TapState to);
    void Emit(TraceRecord&& record);

    JtagDevice* device_;
    TapState state_ = TapState::TestLogicReset;
    bool tdo_ = false;
    bool failed_ = false;
    int tdoStuck_ = -1;
    std::uint64_t failAfterBits_ = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t shiftedBits_ = 0;
    std::uint64_t risingEdges_ = 0;

    bool tracing_ = false;
    bool keepInMemory_ = false;
    TraceFile* traceFile_ = nullptr;
    std::string tracePrefix_;
    std::vector<TraceRecord> records_;
    std::vector<TraceStep> path_;
    TraceRecord scan_{TraceRecord::Kind::Dr, {}, {}, {}, {}, 0};
    bool inScan_ = false;
    std::uint64_t waitPulses_ = 0;
};

}  // namespace sim
