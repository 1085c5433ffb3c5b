// The TAP walk of a port trace and the text of its records.
#include "xsvf/port_trace.h"

#include <utility>

namespace {

constexpr const char* kStateNames[16] = {
    "Test-Logic-Reset", "Run-Test/Idle",  "Select-DR-Scan", "Capture-DR",
    "Shift-DR",         "Exit1-DR",       "Pause-DR",       "Exit2-DR",
    "Update-DR",        "Select-IR-Scan", "Capture-IR",     "Shift-IR",
    "Exit1-IR",         "Pause-IR",       "Exit2-IR",       "Update-IR"};

}  // namespace

std::uint8_t NextTapStateOf(std::uint8_t state, bool tms) {
    // Per state: the next state with TMS low, then with TMS high.
    static constexpr std::uint8_t kNext[16][2] = {
        {1, 0}, {1, 2},  {3, 9},   {4, 5},   {4, 5},   {6, 8},   {6, 7},   {4, 8},
        {1, 2}, {10, 0}, {11, 12}, {11, 12}, {13, 15}, {13, 14}, {11, 15}, {1, 2}};
    return kNext[state & 15][tms ? 1 : 0];
}

CPortTrace::CPortTrace(std::string place, CTraceSink& sink)
    : place_(std::move(place)), sink_(sink) {}

void CPortTrace::Bits::Append(bool bit) {
    if ((count & 7) == 0) bytes.push_back(0);
    if (bit) bytes.back() = static_cast<std::uint8_t>(bytes.back() | (1u << (count & 7)));
    ++count;
}

// The value whose bit 0 went first, most significant digit first.
std::string CPortTrace::Bits::Hex() const {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const std::uint64_t digits = (count + 3) / 4;
    text.reserve(digits);
    for (std::uint64_t d = digits; d-- > 0;) {
        unsigned nibble = bytes[d / 2] >> ((d & 1) * 4) & 15u;
        const std::uint64_t valid = count - d * 4;  // bits of this digit that were shifted
        if (valid < 4) nibble &= (1u << valid) - 1;
        text.push_back(kDigits[nibble]);
    }
    return text;
}

void CPortTrace::Edge(bool tms, bool tdi, bool tdo) {
    const std::uint8_t from = state_;
    if (Shifting()) {
        tdi_.Append(tdi);
        tdo_.Append(tdo);
    }
    state_ = NextTapStateOf(from, tms);
    Enter(from, state_);
}

void CPortTrace::Enter(std::uint8_t from, std::uint8_t to) {
    if (to == from) {
        if (from == kIdle || from == kReset) {
            ++waitPulses_;
        } else if (!path_.empty()) {
            ++path_.back().extraPulses;
        }
        return;
    }
    if (waitPulses_) EmitWait(from);  // the wait ended in the state being left
    path_.push_back({to, 0});
    if (to == kCaptureDr || to == kCaptureIr) {
        inScan_ = true;
        scanIsIr_ = to == kCaptureIr;
        tdi_ = {};
        tdo_ = {};
    } else if (inScan_ && (to == kUpdateDr || to == kUpdateIr)) {
        inScan_ = false;
        std::string line = scanIsIr_ ? "IR " : "DR ";
        line += std::to_string(tdi_.count) + " tdi=" + tdi_.Hex() + " tdo=" + tdo_.Hex() + " path=";
        for (std::size_t i = 0; i < path_.size(); ++i) {
            if (i) line += ' ';
            line += std::to_string(path_[i].state);
            const bool shifting = path_[i].state == kShiftDr || path_[i].state == kShiftIr;
            if (path_[i].extraPulses && !shifting)
                line += "*" + std::to_string(path_[i].extraPulses);
        }
        path_.clear();
        Emit(line);
    }
}

void CPortTrace::EmitWait(std::uint8_t state) {
    Emit(std::string("WAIT ") + kStateNames[state & 15] + " " + std::to_string(waitPulses_));
    waitPulses_ = 0;
}

void CPortTrace::Pace(std::uint32_t delayCount, std::uint32_t writesPerSecond) {
    Emit("PACE delay=" + std::to_string(delayCount) +
         " writesPerSecond=" + std::to_string(writesPerSecond));
}

void CPortTrace::Flush() {
    if (waitPulses_) EmitWait(state_);
}

void CPortTrace::Emit(const std::string& record) { sink_.WriteLine(place_ + " " + record); }
