// Length-value bit vectors of the XSVF player: most significant byte first, as in the stream.
#pragma once

#include <cstdint>
#include <span>

// Capacity of every vector buffer; larger shift lengths are rejected before they are read.
inline constexpr std::int32_t BIT_VECTOR_CAPACITY = 2000000;

// The buffer belongs to the player context; the vector only points into it.
struct tagBitVector {
    std::int32_t length = 0;
    std::uint8_t* data = nullptr;
};

// Bytes needed for a number of bits: (bits + 7) / 8, truncating toward zero.
inline std::int32_t vectorBytes(std::int32_t bits) { return (bits + 7) / 8; }

// length = the bytes' count; data = the bytes (an argument of a decoded command).
void loadVector(tagBitVector& vector, std::span<const std::uint8_t> bytes);

// Big-endian value of the bytes; only the last four survive.
std::int32_t vectorValue(const tagBitVector& vector);

// result = a + b modulo 2^(8 × a.length); result may be a. b must hold a.length bytes.
void addVectors(tagBitVector& result, const tagBitVector& a, const tagBitVector& b);

// Compares expected.length bytes; mask bits of 1 are compared. An empty expected equals anything.
bool vectorsEqual(const tagBitVector& expected, const tagBitVector& captured,
                  const tagBitVector* mask);

// XSDRINC update: adds the address mask to tdi, then scatters the bits of nextData (least
// significant first) into the positions where the data mask holds 1.
void applyDataMask(tagBitVector& tdi, const tagBitVector& nextData, const tagBitVector& addressMask,
                   const tagBitVector& dataMask);

// Number of 1 bits in the whole vector.
std::int32_t vectorOneBits(const tagBitVector& vector);
