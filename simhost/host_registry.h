// The simulated machine's local-machine registry, with the 32-bit and 64-bit views kept apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::host {

// The 32-bit view is what a 32-bit process (the utility) sees; the 64-bit one is the native view.
enum class RegistryView { k32, k64 };

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Keys are paths below HKLM such as L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater".
bool RegistryKeyExists(RegistryView view, const std::wstring& key);
void RegistryCreateKey(RegistryView view, const std::wstring& key);
// Deletes the key and its values; false when it did not exist or still has subkeys.
bool RegistryDeleteKey(RegistryView view, const std::wstring& key);

// Setting a value creates its key.
void RegistrySetValue(RegistryView view, const std::wstring& key, const std::wstring& name,
                      const RegistryValue& value);
std::optional<RegistryValue> RegistryGetValue(RegistryView view, const std::wstring& key,
                                              const std::wstring& name);
bool RegistryDeleteValue(RegistryView view, const std::wstring& key, const std::wstring& name);
// The names of the key's values in name order; none when the key is missing.
std::vector<std::wstring> RegistryValueNames(RegistryView view, const std::wstring& key);

// Conveniences: REG_SZ as UTF-16LE without a terminating zero, REG_DWORD little-endian.
void RegistrySetString(RegistryView view, const std::wstring& key, const std::wstring& name,
                       const std::wstring& text);
std::optional<std::wstring> RegistryGetString(RegistryView view, const std::wstring& key,
                                              const std::wstring& name);
void RegistrySetDword(RegistryView view, const std::wstring& key, const std::wstring& name,
                      std::uint32_t value);
std::optional<std::uint32_t> RegistryGetDword(RegistryView view, const std::wstring& key,
                                              const std::wstring& name);

// UTF-16LE bytes of a text and back (a trailing zero character is dropped when reading).
std::vector<std::uint8_t> Utf16LeBytes(const std::wstring& text);
std::wstring FromUtf16LeBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace sim::host
