// Registry seam: values under HKEY_LOCAL_MACHINE as the 32-bit utility sees them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegDword = 4;

// Writes a value with the given type and bytes, creating the key (and its parents) when missing.
bool RegistrySetValue(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t type,
                      const void* data, std::uint32_t size);
// REG_SZ of the text without its terminating zero (two bytes per character).
bool RegistrySetString(const wchar_t* subKey, const wchar_t* valueName, const std::wstring& text);
bool RegistrySetDword(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t value);

// The value's bytes whatever its type; nothing when the key or the value is missing.
std::optional<std::vector<std::uint8_t>> RegistryGetBytes(const wchar_t* subKey,
                                                          const wchar_t* valueName);
// A REG_SZ value, without trailing zero characters.
std::optional<std::wstring> RegistryGetString(const wchar_t* subKey, const wchar_t* valueName);
std::optional<std::uint32_t> RegistryGetDword(const wchar_t* subKey, const wchar_t* valueName);

bool RegistryDeleteValue(const wchar_t* subKey, const wchar_t* valueName);
// Writes the key's changes to disk before it returns (a power cut after it keeps them).
bool RegistryFlushKey(const wchar_t* subKey);
// Deletes a key that has no subkeys.
bool RegistryDeleteKey(const wchar_t* subKey);

// Creates the key when missing and gives it (again, when it exists) a protected DACL of SYSTEM and
// Administrators with full control and nobody else, so its values can be read by administrators
// only. The simulated registry keeps no descriptors: there it does nothing.
bool RegistryProtectKey(const wchar_t* subKey);

}  // namespace platform
