// Case-insensitive ID matching with a trailing wildcard.
#include "components/dec740/hardware_id_match.h"

#include <initializer_list>

namespace dec740 {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

}  // namespace

bool IdMatches(std::string_view pattern, std::string_view id) {
    if (!pattern.empty() && pattern.back() == '*') {
        pattern.remove_suffix(1);
        return id.size() >= pattern.size() && SameLetters(pattern, id.substr(0, pattern.size()));
    }
    return SameLetters(pattern, id);
}

bool DeviceMatches(std::string_view pattern, const Device& device) {
    for (const auto* ids : {&device.hardwareIds, &device.compatibleIds}) {
        for (const std::string& id : *ids) {
            if (IdMatches(pattern, id)) return true;
        }
    }
    return false;
}

}  // namespace dec740
