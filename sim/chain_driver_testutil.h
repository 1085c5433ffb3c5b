// Test driver for a simulated JTAG chain: TAP walks and scans straight on the chain's edges.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/fpga_version.h"
#include "sim/jtag_chain.h"

namespace sim::testing {

class ChainDriver {
public:
    explicit ChainDriver(JtagChain& chain) : chain_(chain) {}

    // One TCK period: falling edge, TDO sampled, rising edge with TMS and TDI. Returns the TDO.
    bool Clock(bool tms, bool tdi = false);
    // Test-Logic-Reset, then Run-Test/Idle.
    void ResetToIdle();
    // From Run-Test/Idle through a scan back to Run-Test/Idle; returns the captured bits (<= 64).
    std::uint64_t ScanIr(unsigned bits, std::uint64_t tdi);
    std::uint64_t ScanDr(unsigned bits, std::uint64_t tdi);
    // A DR scan of 32-bit words, first word first, each word's bit 0 first.
    void ScanDrWords(const std::vector<std::uint32_t>& words);
    void Idle(unsigned clocks);

private:
    std::uint64_t Shift(unsigned bits, std::uint64_t tdi);
    JtagChain& chain_;
};

// Padding, sync, version command, version, data count, data, CRC (optionally spoiled).
std::vector<std::uint32_t> MakeBitstream(const FpgaVersion& version,
                                         const std::vector<std::uint32_t>& data,
                                         bool spoilCrc = false);

}  // namespace sim::testing
