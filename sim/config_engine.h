// The K740 FPGA's configuration engine: takes the CFG_IN bit stream and checks the bitstream
// format.
#pragma once

#include <cstdint>

#include "sim/crc32.h"

namespace sim {

// Format (32-bit words, first bit shifted = bit 0): anything until the sync word 0xAA995566; then
// 0x30000001, the version word, 0x50000000 | N, N data words, and the CRC-32 of the version and
// data words (little-endian bytes). Words after the CRC word are ignored until the next Reset.
class ConfigEngine {
public:
    static constexpr std::uint32_t kSyncWord = 0xAA995566u;
    static constexpr std::uint32_t kVersionCommand = 0x30000001u;
    static constexpr std::uint32_t kDataCommand = 0x50000000u;

    void Reset();
    void ShiftBit(bool bit) {
        word_ |= static_cast<std::uint32_t>(bit) << bitCount_;
        if (++bitCount_ == 32) {
            TakeWord(word_);
            word_ = 0;
            bitCount_ = 0;
        }
    }

    bool SyncSeen() const { return phase_ != Phase::Sync; }
    bool CrcError() const { return phase_ == Phase::Error; }
    // A complete bitstream with a good CRC was loaded.
    bool Loaded() const { return phase_ == Phase::Complete; }
    std::uint32_t Version() const { return version_; }
    std::uint64_t WordsTaken() const { return wordsTaken_; }

private:
    enum class Phase { Sync, Command, Version, Length, Data, Crc, Complete, Error };
    void TakeWord(std::uint32_t word);

    Phase phase_ = Phase::Sync;
    std::uint32_t word_ = 0;
    unsigned bitCount_ = 0;
    std::uint32_t version_ = 0;
    std::uint32_t dataLeft_ = 0;
    std::uint64_t wordsTaken_ = 0;
    Crc32 crc_;
};

}  // namespace sim
