// Registry on Windows: HKEY_LOCAL_MACHINE in the view of the 32-bit process (WOW64 redirection
// applies).
#include <windows.h>

#include <cstring>

#include "platform/registry.h"

namespace platform {

namespace {

HKEY OpenKey(const wchar_t* subKey, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

std::optional<std::vector<std::uint8_t>> Query(const wchar_t* subKey, const wchar_t* valueName,
                                               DWORD* type) {
    HKEY key = OpenKey(subKey, KEY_QUERY_VALUE);
    if (!key) return std::nullopt;
    DWORD size = 0;
    std::optional<std::vector<std::uint8_t>> result;
    if (RegQueryValueExW(key, valueName, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<std::uint8_t> data(size);
        if (RegQueryValueExW(key, valueName, nullptr, type, data.data(), &size) == ERROR_SUCCESS) {
            data.resize(size);
            result = std::move(data);
        }
    }
    RegCloseKey(key);
    return result;
}

}  // namespace

bool RegistrySetValue(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t type,
                      const void* data, std::uint32_t size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = RegSetValueExW(key, valueName, 0, type, static_cast<const BYTE*>(data), size) ==
              ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
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
    HKEY key = OpenKey(subKey, KEY_ALL_ACCESS);
    if (!key) return false;
    bool deleted = RegDeleteValueW(key, valueName) == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted;
}

bool RegistryFlushKey(const wchar_t* subKey) {
    HKEY key = OpenKey(subKey, KEY_QUERY_VALUE);
    if (!key) return false;
    const bool flushed = RegFlushKey(key) == ERROR_SUCCESS;
    RegCloseKey(key);
    return flushed;
}

bool RegistryDeleteKey(const wchar_t* subKey) {
    return RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey) == ERROR_SUCCESS;
}

}  // namespace platform
