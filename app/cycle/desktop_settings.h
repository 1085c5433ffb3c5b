// The desktop suite's settings across the cycle: paths, export and import, the registry copy,
// closing the suite.
#pragma once

#include <cstdint>
#include <string>

#include "app/cycle/child_runner.h"

class CHostServices;

inline constexpr std::uint32_t kExportWaitMilliseconds = 10000;
// A settings file above this size is not stored in "Config".
inline constexpr std::uint64_t kLargestSettingsBytes = 1u << 20;

// The known folder for 32-bit programs (never the environment, which the user can set), then
// "\Orvane Graphics\Panelux\" (the host edition uses '/'). Empty when the folder is unknown.
std::wstring SuiteDirectory();

// The working folder followed by "pxcfg.txt"; empty when there is no working folder.
std::wstring SettingsFilePath(const std::wstring& workingFolder);

// Suite directory, "Orvane.PluxCmd.exe /export " or "/import ", settings file path. Each path that
// holds a blank is quoted. Empty without a suite directory: nothing is then started.
std::wstring SuiteExportCommandLine(const std::wstring& suiteDirectory,
                                    const std::wstring& settingsFile);
std::wstring SuiteImportCommandLine(const std::wstring& suiteDirectory,
                                    const std::wstring& settingsFile);

// Clears the settings file's name before the export, which writes into whatever has the name: the
// export then creates its file afresh in the admin-only folder.
void ClearSettingsFileName(const std::wstring& settingsFile);

// Writes the settings file from "Config", exactly the value's bytes, as a new file (a link or a
// file planted in its place loses the name). False when the value is missing or empty (or the file
// cannot be written): the settings then have to be exported.
bool RestoreSettingsFromRegistry(const std::wstring& settingsFile);

// The settings file's bytes into "Config" (REG_SZ, the file's length as byte count). Nothing is
// written when the file cannot be opened, or is larger than kLargestSettingsBytes (logged).
void StoreSettingsInRegistry(const std::wstring& settingsFile);

// True when "Config" holds more than 0 bytes: the mark of a resumed run.
bool SettingsCopyStored();

// Restores the settings file from "Config" or, without a copy, runs the export and waits for it at
// most 10,000 ms (a slower export goes on by itself); then closes the suite through host.
void SaveOrRestoreSettings(CHostServices& host, CChildRunner& runner,
                           const std::wstring& exportCommandLine, const std::wstring& settingsFile);

// SignalDesktopCoreClose, then TerminateDesktopCore.
void CloseDesktopSuite(CHostServices& host);
