// Scans and bitstreams for the simulator's tests.
#include "sim/chain_driver_testutil.h"

#include "sim/crc32.h"

namespace sim::testing {

bool ChainDriver::Clock(bool tms, bool tdi) {
    chain_.FallingEdge();
    bool tdo = chain_.Tdo();
    chain_.RisingEdge(tms, tdi);
    return tdo;
}

void ChainDriver::ResetToIdle() {
    for (int i = 0; i < 5; ++i) Clock(true);
    Clock(false);
}

std::uint64_t ChainDriver::Shift(unsigned bits, std::uint64_t tdi) {
    std::uint64_t captured = 0;
    for (unsigned i = 0; i < bits; ++i) {
        if (Clock(i + 1 == bits, (tdi >> i) & 1)) captured |= std::uint64_t{1} << i;
    }
    Clock(true);   // Exit1 -> Update
    Clock(false);  // Update -> Run-Test/Idle
    return captured;
}

std::uint64_t ChainDriver::ScanIr(unsigned bits, std::uint64_t tdi) {
    Clock(true);   // Select-DR-Scan
    Clock(true);   // Select-IR-Scan
    Clock(false);  // Capture-IR
    Clock(false);  // Shift-IR
    return Shift(bits, tdi);
}

std::uint64_t ChainDriver::ScanDr(unsigned bits, std::uint64_t tdi) {
    Clock(true);   // Select-DR-Scan
    Clock(false);  // Capture-DR
    Clock(false);  // Shift-DR
    return Shift(bits, tdi);
}

void ChainDriver::ScanDrWords(const std::vector<std::uint32_t>& words) {
    Clock(true);
    Clock(false);
    Clock(false);
    for (std::size_t w = 0; w < words.size(); ++w) {
        for (unsigned i = 0; i < 32; ++i) {
            Clock(w + 1 == words.size() && i == 31, (words[w] >> i) & 1);
        }
    }
    Clock(true);
    Clock(false);
}

void ChainDriver::Idle(unsigned clocks) {
    for (unsigned i = 0; i < clocks; ++i) Clock(false);
}

std::vector<std::uint32_t> MakeBitstream(const FpgaVersion& version,
                                         const std::vector<std::uint32_t>& data, bool spoilCrc) {
    std::vector<std::uint32_t> words = {0xFFFFFFFFu, 0xAA995566u, 0x30000001u, version.Word(),
                                        0x50000000u | static_cast<std::uint32_t>(data.size())};
    Crc32 crc;
    crc.UpdateWord(version.Word());
    for (auto word : data) {
        words.push_back(word);
        crc.UpdateWord(word);
    }
    words.push_back(crc.Value() ^ (spoilCrc ? 1u : 0u));
    return words;
}

}  // namespace sim::testing
