// Script playback for the scripted JTAG device.
#include "sim/scripted_device.h"

#include <cctype>

namespace sim {

std::optional<ScriptStep> ScriptStep::FromHex(ScanKind kind, const std::string& tdoHex,
                                              std::optional<std::uint64_t> bits) {
    ScriptStep step;
    step.kind = kind;
    std::uint64_t digits = tdoHex.size();
    std::uint64_t count = bits.value_or(digits * 4);
    if (count > digits * 4) return std::nullopt;
    for (std::uint64_t k = 0; k < count; ++k) {
        char c = tdoHex[digits - 1 - k / 4];
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        unsigned nibble = std::isdigit(static_cast<unsigned char>(c))
                              ? static_cast<unsigned>(c - '0')
                              : static_cast<unsigned>(std::tolower(c) - 'a' + 10);
        step.tdo.Append((nibble >> (k % 4)) & 1);
    }
    for (char c : tdoHex) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    return step;
}

std::size_t ScriptedJtagDevice::Deviations() const {
    std::size_t count = 0;
    for (const auto& scan : received_) count += (!scan.scripted || !scan.kindMatched) ? 1 : 0;
    return count;
}

void ScriptedJtagDevice::Capture(ScanKind kind) {
    ReceivedScan scan;
    scan.kind = kind;
    current_ = next_ < script_.size() ? next_++ : kNone;
    scan.scripted = current_ != kNone;
    scan.kindMatched = scan.scripted &&
                       (script_[current_].kind == ScanKind::Any || script_[current_].kind == kind);
    received_.push_back(std::move(scan));
    position_ = 0;
}

void ScriptedJtagDevice::Shift(bool tdi) {
    if (!received_.empty()) received_.back().tdi.Append(tdi);
    ++position_;
}

bool ScriptedJtagDevice::Tdo(bool) const {
    if (current_ == kNone || position_ >= script_[current_].tdo.count) return false;
    return script_[current_].tdo.At(position_);
}

}  // namespace sim
