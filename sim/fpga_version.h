// A K740 FPGA configuration version: major.minor.patch.build, and its 32-bit version word.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sim {

struct FpgaVersion {
    std::uint8_t major = 0, minor = 0, patch = 0, build = 0;

    std::uint32_t Word() const {
        return (std::uint32_t{major} << 24) | (std::uint32_t{minor} << 16) |
               (std::uint32_t{patch} << 8) | build;
    }
    static FpgaVersion FromWord(std::uint32_t word) {
        return {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
    }
    // "1.2.7.0"
    std::string Text() const;
    // "1.2.7" or "1.2.7.3", each part 0..255; nothing for anything else.
    static std::optional<FpgaVersion> Parse(const std::string& text);

    bool operator==(const FpgaVersion&) const = default;
};

}  // namespace sim
