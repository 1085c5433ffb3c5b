// Table-driven reflected CRC-32 with polynomial 0xEDB88320.
#include "sim/crc32.h"

#include <array>

namespace sim {

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

void Crc32::Update(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        state_ = kTable[(state_ ^ data[i]) & 0xFF] ^ (state_ >> 8);
}

void Crc32::UpdateWord(std::uint32_t word) {
    for (int i = 0; i < 4; ++i, word >>= 8) state_ = kTable[(state_ ^ word) & 0xFF] ^ (state_ >> 8);
}

}  // namespace sim
