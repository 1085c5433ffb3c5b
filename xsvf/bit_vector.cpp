// Bit-vector operations of the XSVF player.
#include "xsvf/bit_vector.h"

#include <bit>
#include <cstring>

void loadVector(tagBitVector& vector, std::span<const std::uint8_t> bytes) {
    vector.length = static_cast<std::int32_t>(bytes.size());
    if (!bytes.empty()) std::memcpy(vector.data, bytes.data(), bytes.size());
}

std::int32_t vectorValue(const tagBitVector& vector) {
    std::uint32_t value = 0;
    for (std::int32_t i = 0; i < vector.length; ++i) value = (value << 8) | vector.data[i];
    return static_cast<std::int32_t>(value);
}

void addVectors(tagBitVector& result, const tagBitVector& a, const tagBitVector& b) {
    std::uint32_t carry = 0;
    for (std::int32_t i = a.length - 1; i >= 0; --i) {
        std::uint32_t sum = a.data[i] + b.data[i] + carry;
        result.data[i] = static_cast<std::uint8_t>(sum);
        carry = sum > 0xFF ? 1 : 0;
    }
    result.length = a.length;
}

bool vectorsEqual(const tagBitVector& expected, const tagBitVector& captured,
                  const tagBitVector* mask) {
    for (std::int32_t i = expected.length - 1; i >= 0; --i) {
        std::uint8_t u = expected.data[i];
        std::uint8_t w = captured.data[i];
        if (mask != nullptr) {
            u &= mask->data[i];
            w &= mask->data[i];
        }
        if (u != w) return false;
    }
    return true;
}

void applyDataMask(tagBitVector& tdi, const tagBitVector& nextData, const tagBitVector& addressMask,
                   const tagBitVector& dataMask) {
    addVectors(tdi, tdi, addressMask);
    std::uint8_t source = 0;
    std::uint8_t sourceBit = 0;
    std::int32_t sourceIndex = nextData.length;
    for (std::int32_t i = dataMask.length - 1; i >= 0; --i) {
        std::uint8_t m = dataMask.data[i];
        if (m == 0) continue;
        std::uint8_t target = tdi.data[i];
        std::uint8_t targetBit = 1;
        while (m != 0) {
            if (m & 1) {
                if (sourceBit == 0) {
                    // More mask bits than data bits cannot happen in a play (the data is sized by
                    // the mask); read zeros rather than before the buffer.
                    source = sourceIndex > 0 ? nextData.data[--sourceIndex] : 0;
                    sourceBit = 1;
                }
                if (source & sourceBit) {
                    target = static_cast<std::uint8_t>(target | targetBit);
                } else {
                    target = static_cast<std::uint8_t>(target & ~targetBit);
                }
                sourceBit = static_cast<std::uint8_t>(sourceBit << 1);
            }
            targetBit = static_cast<std::uint8_t>(targetBit << 1);
            m = static_cast<std::uint8_t>(m >> 1);
        }
        tdi.data[i] = target;
    }
}

std::int32_t vectorOneBits(const tagBitVector& vector) {
    std::int32_t count = 0;
    for (std::int32_t i = 0; i < vector.length; ++i) count += std::popcount(vector.data[i]);
    return count;
}
