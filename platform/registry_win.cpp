// Registry on Windows: HKEY_LOCAL_MACHINE in the view of the 32-bit process (WOW64 redirection
// applies).
#include <windows.h>
// After windows.h:
#include <sddl.h>

#include <cstring>
#include <memory>

#include "base/win_handles_win.h"
#include "platform/registry.h"

namespace platform {

namespace {

ovn::ScopedRegistryKey OpenKey(const wchar_t* subKey, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, access, &key) != ERROR_SUCCESS) return {};
    return ovn::ScopedRegistryKey(key);
}

std::optional<std::vector<std::uint8_t>> Query(const wchar_t* subKey, const wchar_t* valueName,
                                               DWORD* type) {
    const ovn::ScopedRegistryKey key = OpenKey(subKey, KEY_QUERY_VALUE);
    if (!key) return std::nullopt;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), valueName, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::uint8_t> data(size);
    if (RegQueryValueExW(key.get(), valueName, nullptr, type, data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return data;
}

}  // namespace

bool RegistrySetValue(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t type,
                      const void* data, std::uint32_t size) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const ovn::ScopedRegistryKey key(raw);
    return RegSetValueExW(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool RegistrySetString(const wchar_t* subKey, const wchar_t* valueName, const std::wstring& text) {
    return RegistrySetValue(subKey, valueName, REG_SZ, text.c_str(),
                            static_cast<std::uint32_t>(text.size() * sizeof(wchar_t)));
}

bool RegistrySetDword(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t value) {
    DWORD data = value;
    return RegistrySetValue(subKey, valueName, REG_DWORD, &data, sizeof(data));
}

std::optional<std::vector<std::uint8_t>> RegistryGetBytes(const wchar_t* subKey,
                                                          const wchar_t* valueName) {
    DWORD type = 0;
    return Query(subKey, valueName, &type);
}

std::optional<std::wstring> RegistryGetString(const wchar_t* subKey, const wchar_t* valueName) {
    DWORD type = 0;
    auto data = Query(subKey, valueName, &type);
    if (!data || type != REG_SZ) return std::nullopt;
    std::wstring text(data->size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), data->data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::optional<std::uint32_t> RegistryGetDword(const wchar_t* subKey, const wchar_t* valueName) {
    DWORD type = 0;
    auto data = Query(subKey, valueName, &type);
    if (!data || type != REG_DWORD || data->size() < sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    std::memcpy(&value, data->data(), sizeof(value));
    return value;
}

bool RegistryDeleteValue(const wchar_t* subKey, const wchar_t* valueName) {
    const ovn::ScopedRegistryKey key = OpenKey(subKey, KEY_ALL_ACCESS);
    return key && RegDeleteValueW(key.get(), valueName) == ERROR_SUCCESS;
}

bool RegistryFlushKey(const wchar_t* subKey) {
    const ovn::ScopedRegistryKey key = OpenKey(subKey, KEY_QUERY_VALUE);
    return key && RegFlushKey(key.get()) == ERROR_SUCCESS;
}

bool RegistryDeleteKey(const wchar_t* subKey) {
    return RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey) == ERROR_SUCCESS;
}

bool RegistryProtectKey(const wchar_t* subKey) {
    // Containers and values below inherit it; the key's own ACEs are not inherited from SOFTWARE.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const std::unique_ptr<void, decltype(&LocalFree)> keep(descriptor, &LocalFree);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, &attributes,
                        &raw, nullptr) != ERROR_SUCCESS)
        return false;
    const ovn::ScopedRegistryKey key(raw);
    // Also for a new key: a key made before (by an older version, or by someone else) gets the
    // descriptor again, and Wine keeps only a descriptor set on the open key.
    return RegSetKeySecurity(key.get(),
                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             descriptor) == ERROR_SUCCESS;
}

}  // namespace platform
