// SHA-256 of the XSVF image, so a result names exactly which bytes were programmed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Incremental SHA-256 (FIPS 180-4). Plain value type; one thread at a time.
class CImageSha256 {
public:
    CImageSha256();
    void Add(const std::uint8_t* bytes, std::size_t length);
    // The digest of everything added; the object is spent afterwards.
    std::array<std::uint8_t, 32> Finish();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingLength_ = 0;
    std::uint64_t totalLength_ = 0;
};

// The digest of a whole buffer as 64 lower-case hexadecimal digits.
std::string ImageSha256Hex(const std::uint8_t* bytes, std::size_t length);
