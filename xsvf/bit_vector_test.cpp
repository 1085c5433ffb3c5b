// Tests of the bit-vector operations.
#include "xsvf/bit_vector.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A vector over its own buffer, for tests.
struct TestVector {
    explicit TestVector(std::vector<std::uint8_t> bytes) : buffer(std::move(bytes)) {
        buffer.resize(std::max<std::size_t>(buffer.size(), 16));
        vector.data = buffer.data();
        vector.length = static_cast<std::int32_t>(bytesIn);
    }
    TestVector(std::initializer_list<std::uint8_t> bytes)
        : TestVector(std::vector<std::uint8_t>(bytes)) {
        vector.length = static_cast<std::int32_t>(bytes.size());
    }
    std::vector<std::uint8_t> Bytes() const {
        return std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + vector.length);
    }
    std::size_t bytesIn = 0;
    std::vector<std::uint8_t> buffer;
    tagBitVector vector;
};

TEST(BitVector, BytesForBits) {
    EXPECT_EQ(vectorBytes(0), 0);
    EXPECT_EQ(vectorBytes(1), 1);
    EXPECT_EQ(vectorBytes(8), 1);
    EXPECT_EQ(vectorBytes(9), 2);
    EXPECT_EQ(vectorBytes(16000000), 2000000);
}

TEST(BitVector, ValueIsBigEndianKeepingTheLastFourBytes) {
    EXPECT_EQ(vectorValue(TestVector{0x00, 0x00, 0x01, 0x00}.vector), 256);
    EXPECT_EQ(vectorValue(TestVector{0x12, 0x34}.vector), 0x1234);
    EXPECT_EQ(vectorValue(TestVector{0x99, 0x12, 0x34, 0x56, 0x78}.vector), 0x12345678);
}

TEST(BitVector, AdditionCarriesAndDropsTheTopCarry) {
    TestVector a{0xFF, 0xFF};
    addVectors(a.vector, a.vector, TestVector{0x00, 0x01}.vector);
    EXPECT_EQ(a.Bytes(), (std::vector<std::uint8_t>{0x00, 0x00}));
    TestVector b{0x00, 0xFF};
    addVectors(b.vector, b.vector, TestVector{0x00, 0x01}.vector);
    EXPECT_EQ(b.Bytes(), (std::vector<std::uint8_t>{0x01, 0x00}));
}

TEST(BitVector, ComparisonHonoursTheMask) {
    TestVector expected{0x0F}, captured{0xF0};
    TestVector none{0x00}, low{0x01};
    EXPECT_TRUE(vectorsEqual(expected.vector, captured.vector, &none.vector));
    EXPECT_FALSE(vectorsEqual(expected.vector, captured.vector, &low.vector));
    EXPECT_FALSE(vectorsEqual(expected.vector, captured.vector, nullptr));
    TestVector empty{};
    EXPECT_TRUE(vectorsEqual(empty.vector, captured.vector, nullptr));
}

TEST(BitVector, DataMaskExampleIncrementsThenScatters) {
    TestVector tdi{0x00, 0x00};
    applyDataMask(tdi.vector, TestVector{0x05}.vector, TestVector{0x00, 0x01}.vector,
                  TestVector{0x00, 0xF0}.vector);
    EXPECT_EQ(tdi.Bytes(), (std::vector<std::uint8_t>{0x00, 0x51}));
}

TEST(BitVector, DataMaskOverTwoBytesTakesTheNextSourceByteAfterEightBits) {
    // Twelve mask bits: 0x0F in the high byte, 0xFF in the low byte. The source's last byte fills
    // the low tdi byte, then the first source byte's low nibble fills the high tdi byte.
    TestVector tdi{0xA0, 0x00};
    applyDataMask(tdi.vector, TestVector{0x0B, 0xCD}.vector, TestVector{0x00, 0x00}.vector,
                  TestVector{0x0F, 0xFF}.vector);
    EXPECT_EQ(tdi.Bytes(), (std::vector<std::uint8_t>{0xAB, 0xCD}));
    // Mask bits spread so that the source byte changes in the middle of a tdi byte.
    TestVector spread{0x00, 0x00};
    applyDataMask(spread.vector, TestVector{0x02, 0xFF}.vector, TestVector{0x00, 0x00}.vector,
                  TestVector{0x0F, 0xFC}.vector);
    // Low byte bits 2..7 take source bits 0..5 of 0xFF; high byte bits 0..1 take its bits 6, 7;
    // high byte bits 2..3 take bits 0, 1 (0, 1) of the next source byte 0x02.
    EXPECT_EQ(spread.Bytes(), (std::vector<std::uint8_t>{0x0B, 0xFC}));
}

TEST(BitVector, OneBitsCountOverAllBytes) {
    std::vector<std::uint8_t> bytes(300, 0x01);
    TestVector mask(bytes);
    mask.vector.length = 300;
    EXPECT_EQ(vectorOneBits(mask.vector), 300);
}

}  // namespace
