// SHA-256 of a byte buffer, for recognising the image a resumed run was started with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

std::array<std::uint8_t, 32> Sha256(const std::uint8_t* data, std::size_t size);

// The digest as 64 lower-case hexadecimal digits.
std::wstring Sha256Hex(const std::uint8_t* data, std::size_t size);
