// Registry seam: values under HKEY_LOCAL_MACHINE as the 32-bit utility sees them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"

namespace platform {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegDword = 4;

// The code of a missing key or value (Windows' ERROR_FILE_NOT_FOUND), and of a value of another
// type than the one asked for (ERROR_INVALID_DATATYPE). Both editions use them, so a caller can
// tell "not there" from a registry that refused.
constexpr std::uint32_t kRegistryNotFound = 2;
constexpr std::uint32_t kRegistryWrongType = 1804;

// Writes a value with the given type and bytes, creating the key (and its parents) when missing.
[[nodiscard]] ovn::Status RegistrySetValue(const wchar_t* subKey, const wchar_t* valueName,
                                           std::uint32_t type, const void* data,
                                           std::uint32_t size);
// REG_SZ of the text without its terminating zero (two bytes per character).
[[nodiscard]] ovn::Status RegistrySetString(const wchar_t* subKey, const wchar_t* valueName,
                                            const std::wstring& text);
[[nodiscard]] ovn::Status RegistrySetDword(const wchar_t* subKey, const wchar_t* valueName,
                                           std::uint32_t value);

// The value's bytes whatever its type; the error has kRegistryNotFound when the key or the value
// is missing.
[[nodiscard]] ovn::Result<std::vector<std::uint8_t>> RegistryGetBytes(const wchar_t* subKey,
                                                                      const wchar_t* valueName);
// A REG_SZ value, without trailing zero characters; kRegistryWrongType for another type.
[[nodiscard]] ovn::Result<std::wstring> RegistryGetString(const wchar_t* subKey,
                                                          const wchar_t* valueName);
[[nodiscard]] ovn::Result<std::uint32_t> RegistryGetDword(const wchar_t* subKey,
                                                          const wchar_t* valueName);

[[nodiscard]] ovn::Status RegistryDeleteValue(const wchar_t* subKey, const wchar_t* valueName);
// Writes the key's changes to disk before it returns (a power cut after it keeps them).
[[nodiscard]] ovn::Status RegistryFlushKey(const wchar_t* subKey);
// Deletes a key that has no subkeys.
[[nodiscard]] ovn::Status RegistryDeleteKey(const wchar_t* subKey);

// Creates the key when missing and gives it (again, when it exists) a protected DACL of SYSTEM and
// Administrators with full control and nobody else, so its values can be read by administrators
// only. The simulated registry keeps no descriptors: there it does nothing.
[[nodiscard]] ovn::Status RegistryProtectKey(const wchar_t* subKey);

}  // namespace platform
