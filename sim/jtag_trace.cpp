// Text form of trace records and the shared trace file.
#include "sim/jtag_trace.h"

namespace sim {

std::string TraceBits::Hex() const {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    std::uint64_t digits = (count + 3) / 4;
    text.reserve(digits);
    for (std::uint64_t d = digits; d-- > 0;) {
        unsigned nibble = 0;
        for (unsigned b = 0; b < 4; ++b) {
            std::uint64_t k = d * 4 + b;
            if (k < count && At(k)) nibble |= 1u << b;
        }
        text.push_back(kDigits[nibble]);
    }
    return text;
}

std::string TraceRecord::Text() const {
    if (kind == Kind::Wait) {
        return std::string("WAIT ") + TapStateName(waitState) + " " + std::to_string(waitPulses);
    }
    std::string line = kind == Kind::Ir ? "IR " : "DR ";
    line += std::to_string(tdi.count) + " tdi=" + tdi.Hex() + " tdo=" + tdo.Hex() + " path=";
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i) line += ' ';
        line += std::to_string(static_cast<unsigned>(path[i].state));
        bool shifting = path[i].state == TapState::ShiftDr || path[i].state == TapState::ShiftIr;
        if (path[i].extraPulses && !shifting) line += "*" + std::to_string(path[i].extraPulses);
    }
    return line;
}

TraceFile::TraceFile(const std::string& path) : stream_(path, std::ios::app) {}

void TraceFile::WriteLine(const std::string& line) {
    std::lock_guard<std::mutex> hold(lock_);
    stream_ << line << '\n';
    stream_.flush();
}

}  // namespace sim
