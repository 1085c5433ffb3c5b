// The restart cycle's registry values and the run-once entry.
#pragma once

#include <string>

inline constexpr const wchar_t* kRunOnceKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const wchar_t* kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kUtilityKey = L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater";
inline constexpr const wchar_t* kRunValueName = L"OvnK740FpgaUpdater";
inline constexpr const wchar_t* kConfigValueName = L"Config";

// The run-once value (REG_SZ without its terminating zero).
void RegisterRunOnce(const std::wstring& commandLine);

// Deletes the run value and "Config".
void TidyRegistry();
