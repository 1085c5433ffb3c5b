// CRC-32 of IEEE 802.3 (as zlib computes it), fed incrementally.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

class Crc32 {
public:
    void Update(const std::uint8_t* data, std::size_t size);
    // The four bytes of a word, least significant first.
    void UpdateWord(std::uint32_t word);
    std::uint32_t Value() const { return ~state_; }
    void Reset() { state_ = 0xFFFFFFFFu; }

private:
    std::uint32_t state_ = 0xFFFFFFFFu;
};

}  // namespace sim
