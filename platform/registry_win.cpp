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

// The registry calls return their error code instead of setting the thread's last error.
ovn::Error RegistryError(const char* call, LSTATUS status) {
    return ovn::CallError(call, static_cast<std::uint32_t>(status));
}

ovn::Result<ovn::ScopedRegistryKey> OpenKey(const wchar_t* subKey, REGSAM access) {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, access, &key);
    if (status != ERROR_SUCCESS) return RegistryError("RegOpenKeyExW", status);
    return ovn::ScopedRegistryKey(key);
}

ovn::Result<std::vector<std::uint8_t>> Query(const wchar_t* subKey, const wchar_t* valueName,
                                             DWORD* type) {
    auto key = OpenKey(subKey, KEY_QUERY_VALUE);
    if (!key) return key.error();
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key->get(), valueName, nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS) return RegistryError("RegQueryValueExW", status);
    std::vector<std::uint8_t> data(size);
    status = RegQueryValueExW(key->get(), valueName, nullptr, type, data.data(), &size);
    if (status != ERROR_SUCCESS) return RegistryError("RegQueryValueExW", status);
    data.resize(size);
    return data;
}

}  // namespace

ovn::Status RegistrySetValue(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t type,
                             const void* data, std::uint32_t size) {
    HKEY raw = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, &raw, nullptr);
    if (status != ERROR_SUCCESS) return RegistryError("RegCreateKeyExW", status);
    const ovn::ScopedRegistryKey key(raw);
    status = RegSetValueExW(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) return RegistryError("RegSetValueExW", status);
    return ovn::Ok();
}

ovn::Status RegistrySetString(const wchar_t* subKey, const wchar_t* valueName,
                              const std::wstring& text) {
    return RegistrySetValue(subKey, valueName, REG_SZ, text.c_str(),
                            static_cast<std::uint32_t>(text.size() * sizeof(wchar_t)));
}

ovn::Status RegistrySetDword(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t value) {
    DWORD data = value;
    return RegistrySetValue(subKey, valueName, REG_DWORD, &data, sizeof(data));
}

ovn::Result<std::vector<std::uint8_t>> RegistryGetBytes(const wchar_t* subKey,
                                                        const wchar_t* valueName) {
    DWORD type = 0;
    return Query(subKey, valueName, &type);
}

ovn::Result<std::wstring> RegistryGetString(const wchar_t* subKey, const wchar_t* valueName) {
    DWORD type = 0;
    auto data = Query(subKey, valueName, &type);
    if (!data) return data.error();
    if (type != REG_SZ) return ovn::CallError("RegQueryValueExW", kRegistryWrongType);
    std::wstring text(data->size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), data->data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

ovn::Result<std::uint32_t> RegistryGetDword(const wchar_t* subKey, const wchar_t* valueName) {
    DWORD type = 0;
    auto data = Query(subKey, valueName, &type);
    if (!data) return data.error();
    if (type != REG_DWORD || data->size() < sizeof(DWORD))
        return ovn::CallError("RegQueryValueExW", kRegistryWrongType);
    DWORD value = 0;
    std::memcpy(&value, data->data(), sizeof(value));
    return static_cast<std::uint32_t>(value);
}

ovn::Status RegistryDeleteValue(const wchar_t* subKey, const wchar_t* valueName) {
    auto key = OpenKey(subKey, KEY_ALL_ACCESS);
    if (!key) return key.error();
    const LSTATUS status = RegDeleteValueW(key->get(), valueName);
    if (status != ERROR_SUCCESS) return RegistryError("RegDeleteValueW", status);
    return ovn::Ok();
}

ovn::Status RegistryFlushKey(const wchar_t* subKey) {
    auto key = OpenKey(subKey, KEY_QUERY_VALUE);
    if (!key) return key.error();
    const LSTATUS status = RegFlushKey(key->get());
    if (status != ERROR_SUCCESS) return RegistryError("RegFlushKey", status);
    return ovn::Ok();
}

ovn::Status RegistryDeleteKey(const wchar_t* subKey) {
    const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey);
    if (status != ERROR_SUCCESS) return RegistryError("RegDeleteKeyW", status);
    return ovn::Ok();
}

ovn::Status RegistryProtectKey(const wchar_t* subKey) {
    // Containers and values below inherit it; the key's own ACEs are not inherited from SOFTWARE.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return ovn::CallError("ConvertStringSecurityDescriptorToSecurityDescriptorW",
                              GetLastError());
    const std::unique_ptr<void, decltype(&LocalFree)> keep(descriptor, &LocalFree);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HKEY raw = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                     &attributes, &raw, nullptr);
    if (status != ERROR_SUCCESS) return RegistryError("RegCreateKeyExW", status);
    const ovn::ScopedRegistryKey key(raw);
    // Also for a new key: a key made before (by an older version, or by someone else) gets the
    // descriptor again, and Wine keeps only a descriptor set on the open key.
    status = RegSetKeySecurity(
        key.get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor);
    if (status != ERROR_SUCCESS) return RegistryError("RegSetKeySecurity", status);
    return ovn::Ok();
}

}  // namespace platform
