// Records of a JTAG chain's activity: completed IR/DR scans and waits in stable states.
#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "sim/tap_state.h"

namespace sim {

// Bits in shift order: bit k of the scan is bit (k % 8) of byte k / 8.
struct TraceBits {
    std::vector<std::uint8_t> bytes;
    std::uint64_t count = 0;

    void Append(bool bit) {
        if ((count & 7) == 0) bytes.push_back(0);
        if (bit) bytes.back() |= static_cast<std::uint8_t>(1u << (count & 7));
        ++count;
    }
    bool At(std::uint64_t k) const { return (bytes[k / 8] >> (k % 8)) & 1; }
    // Hex of the value whose bit 0 is the first bit shifted, most significant digit first.
    std::string Hex() const;
};

// One step of the walk: a state entered, and the rising edges spent in it afterwards while it held.
struct TraceStep {
    TapState state;
    std::uint64_t extraPulses = 0;
};

struct TraceRecord {
    enum class Kind { Ir, Dr, Wait } kind;
    TraceBits tdi, tdo;            // scans: the bits shifted in and the TDO level before each shift
    std::vector<TraceStep> path;   // scans: the states from the previous record to the Update state
    TapState waitState{};          // waits: Run-Test/Idle or Test-Logic-Reset
    std::uint64_t waitPulses = 0;  // waits: rising edges that stayed in waitState

    // One line, e.g. "DR 32 tdi=00000000 tdo=0A740093 path=1 2 3 4 5 8" or "WAIT Run-Test/Idle 16".
    std::string Text() const;
};

// The file named by OVN_SIM_TRACE: whole lines from any card, each prefixed with the card's place.
class TraceFile {
public:
    explicit TraceFile(const std::string& path);
    bool IsOpen() const { return stream_.is_open(); }
    void WriteLine(const std::string& line);

private:
    std::mutex lock_;
    std::ofstream stream_;
};

}  // namespace sim
