// Registry of the host edition: the simulated machine's 32-bit view of HKLM.
#include "platform/registry.h"
#include "simhost/host_registry.h"

namespace platform {

namespace {
constexpr auto kView = sim::host::RegistryView::k32;
}

bool RegistrySetValue(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t type,
                      const void* data, std::uint32_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    sim::host::RegistryValue value{type, std::vector<std::uint8_t>(bytes, bytes + size)};
    sim::host::RegistrySetValue(kView, subKey, valueName, value);
    return true;
}

bool RegistrySetString(const wchar_t* subKey, const wchar_t* valueName, const std::wstring& text) {
    sim::host::RegistrySetString(kView, subKey, valueName, text);
    return true;
}

bool RegistrySetDword(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t value) {
    sim::host::RegistrySetDword(kView, subKey, valueName, value);
    return true;
}

std::optional<std::vector<std::uint8_t>> RegistryGetBytes(const wchar_t* subKey,
                                                          const wchar_t* valueName) {
    auto value = sim::host::RegistryGetValue(kView, subKey, valueName);
    if (!value) return std::nullopt;
    return value->data;
}

std::optional<std::wstring> RegistryGetString(const wchar_t* subKey, const wchar_t* valueName) {
    auto value = sim::host::RegistryGetValue(kView, subKey, valueName);
    if (!value || value->type != kRegSz) return std::nullopt;
    return sim::host::FromUtf16LeBytes(value->data);
}

std::optional<std::uint32_t> RegistryGetDword(const wchar_t* subKey, const wchar_t* valueName) {
    auto value = sim::host::RegistryGetValue(kView, subKey, valueName);
    if (!value || value->type != kRegDword || value->data.size() < 4) return std::nullopt;
    const auto& b = value->data;
    return static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16 |
                                      static_cast<std::uint32_t>(b[3]) << 24);
}

bool RegistryDeleteValue(const wchar_t* subKey, const wchar_t* valueName) {
    return sim::host::RegistryDeleteValue(kView, subKey, valueName);
}

// Every change of the simulated registry is on disk when its call returns.
bool RegistryFlushKey(const wchar_t*) { return true; }

bool RegistryDeleteKey(const wchar_t* subKey) {
    return sim::host::RegistryDeleteKey(kView, subKey);
}

// The simulated registry keeps no descriptors; its key is created by the first value written.
bool RegistryProtectKey(const wchar_t*) { return true; }

}  // namespace platform
