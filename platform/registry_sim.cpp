// Registry of the host edition: the simulated machine's 32-bit view of HKLM.
#include "platform/registry.h"
#include "simhost/host_registry.h"

namespace platform {

namespace {
constexpr auto kView = sim::host::RegistryView::k32;

// The simulated registry fails only where Windows would find nothing; it names the call that
// Windows would have failed.
ovn::Result<sim::host::RegistryValue> Query(const wchar_t* subKey, const wchar_t* valueName) {
    auto value = sim::host::RegistryGetValue(kView, subKey, valueName);
    if (!value) return ovn::CallError("RegQueryValueExW", kRegistryNotFound);
    return std::move(*value);
}
}  // namespace

ovn::Status RegistrySetValue(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t type,
                             const void* data, std::uint32_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    sim::host::RegistryValue value{type, std::vector<std::uint8_t>(bytes, bytes + size)};
    sim::host::RegistrySetValue(kView, subKey, valueName, value);
    return ovn::Ok();
}

ovn::Status RegistrySetString(const wchar_t* subKey, const wchar_t* valueName,
                              const std::wstring& text) {
    sim::host::RegistrySetString(kView, subKey, valueName, text);
    return ovn::Ok();
}

ovn::Status RegistrySetDword(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t value) {
    sim::host::RegistrySetDword(kView, subKey, valueName, value);
    return ovn::Ok();
}

ovn::Result<std::vector<std::uint8_t>> RegistryGetBytes(const wchar_t* subKey,
                                                        const wchar_t* valueName) {
    auto value = Query(subKey, valueName);
    if (!value) return value.error();
    return std::move(value->data);
}

ovn::Result<std::wstring> RegistryGetString(const wchar_t* subKey, const wchar_t* valueName) {
    auto value = Query(subKey, valueName);
    if (!value) return value.error();
    if (value->type != kRegSz) return ovn::CallError("RegQueryValueExW", kRegistryWrongType);
    return sim::host::FromUtf16LeBytes(value->data);
}

ovn::Result<std::uint32_t> RegistryGetDword(const wchar_t* subKey, const wchar_t* valueName) {
    auto value = Query(subKey, valueName);
    if (!value) return value.error();
    if (value->type != kRegDword || value->data.size() < 4)
        return ovn::CallError("RegQueryValueExW", kRegistryWrongType);
    const auto& b = value->data;
    return static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16 |
                                      static_cast<std::uint32_t>(b[3]) << 24);
}

ovn::Status RegistryDeleteValue(const wchar_t* subKey, const wchar_t* valueName) {
    if (!sim::host::RegistryDeleteValue(kView, subKey, valueName))
        return ovn::CallError("RegDeleteValueW", kRegistryNotFound);
    return ovn::Ok();
}

// Every change of the simulated registry is on disk when its call returns.
ovn::Status RegistryFlushKey(const wchar_t*) { return ovn::Ok(); }

ovn::Status RegistryDeleteKey(const wchar_t* subKey) {
    if (sim::host::RegistryDeleteKey(kView, subKey)) return ovn::Ok();
    // Windows refuses a key with subkeys as access denied.
    constexpr std::uint32_t kAccessDenied = 5;
    return ovn::CallError("RegDeleteKeyW", sim::host::RegistryKeyExists(kView, subKey)
                                               ? kAccessDenied
                                               : kRegistryNotFound);
}

// The simulated registry keeps no descriptors; its key is created by the first value written.
ovn::Status RegistryProtectKey(const wchar_t*) { return ovn::Ok(); }

}  // namespace platform
