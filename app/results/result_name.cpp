// The lossless escaped form of names that are not valid UTF-8.
#include "app/results/result_name.h"

#include <cstdint>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at `i` (no overlong forms, no surrogates, at most U+10FFFF);
// 0 when the bytes there are none.
std::size_t Utf8SequenceAt(const std::string& s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = at(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    if (at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return length;
}

bool IsSurrogateAt(const std::string& s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    return i + 2 < s.size() && at(i) == 0xED && at(i + 1) >= 0xA0 && at(i + 1) <= 0xBF &&
           at(i + 2) >= 0x80 && at(i + 2) <= 0xBF;
}

bool IsValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t length = Utf8SequenceAt(s, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<unsigned> HexNumber(const std::string& s, std::size_t at, std::size_t digits) {
    if (at + digits > s.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t k = 0; k < digits; ++k) {
        const int digit = HexDigit(s[at + k]);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

}  // namespace

tagResultName NameForResult(const std::string& name) {
    if (IsValidUtf8(name)) return {name, false};
    tagResultName out;
    out.escaped = true;
    char escape[8];
    for (std::size_t i = 0; i < name.size();) {
        if (name[i] == '\\') {
            out.text += "\\\\";
            ++i;
        } else if (IsSurrogateAt(name, i)) {
            const unsigned unit = 0xD000u |
                                  ((static_cast<std::uint8_t>(name[i + 1]) & 0x3Fu) << 6) |
                                  (static_cast<std::uint8_t>(name[i + 2]) & 0x3Fu);
            std::snprintf(escape, sizeof escape, "\\u%04X", unit);
            out.text += escape;
            i += 3;
        } else if (const std::size_t length = Utf8SequenceAt(name, i)) {
            out.text.append(name, i, length);
            i += length;
        } else {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<std::uint8_t>(name[i]));
            out.text += escape;
            ++i;
        }
    }
    return out;
}

std::optional<std::string> NameFromResult(const tagResultName& name) {
    if (!name.escaped) return name.text;
    const std::string& s = name.text;
    std::string bytes;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] != '\\') {
            bytes += s[i++];
            continue;
        }
        if (i + 1 >= s.size()) return std::nullopt;
        const char what = s[i + 1];
        if (what == '\\') {
            bytes += '\\';
            i += 2;
        } else if (what == 'x') {
            const auto value = HexNumber(s, i + 2, 2);
            if (!value) return std::nullopt;
            bytes += static_cast<char>(*value);
            i += 4;
        } else if (what == 'u') {
            const auto unit = HexNumber(s, i + 2, 4);
            if (!unit || *unit < 0xD800 || *unit > 0xDFFF) return std::nullopt;
            bytes += static_cast<char>(0xE0 | (*unit >> 12));
            bytes += static_cast<char>(0x80 | ((*unit >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (*unit & 0x3F));
            i += 6;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}
