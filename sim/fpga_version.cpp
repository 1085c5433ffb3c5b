// Text form of FPGA versions, as the machine file and the state directory write them.
#include "sim/fpga_version.h"

#include <cctype>

namespace sim {

std::string FpgaVersion::Text() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch) + "." +
           std::to_string(build);
}

std::optional<FpgaVersion> FpgaVersion::Parse(const std::string& text) {
    std::uint8_t parts[4] = {0, 0, 0, 0};
    std::size_t count = 0, i = 0;
    while (true) {
        if (count == 4 || i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
            if (++digits > 3) return std::nullopt;
        }
        if (value > 255) return std::nullopt;
        parts[count++] = static_cast<std::uint8_t>(value);
        if (i == text.size()) break;
        if (text[i++] != '.') return std::nullopt;
    }
    if (count < 3) return std::nullopt;
    return FpgaVersion{parts[0], parts[1], parts[2], parts[3]};
}

}  // namespace sim
