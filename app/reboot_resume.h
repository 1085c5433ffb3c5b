// The restart cycle's registry values and the command line that resumes the update after a restart.
#pragma once

#include <string>

inline constexpr const wchar_t* kRunOnceKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const wchar_t* kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kUtilityKey = L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater";
inline constexpr const wchar_t* kRunValueName = L"OvnK740FpgaUpdater";
inline constexpr const wchar_t* kConfigValueName = L"Config";

// The command line that starts the same update again at the next logon. A command line that does
// not begin with the bare program name is kept. One that does gets the program directory in front
// of the program and, unless the directory already occurs in it, in front of a relative file name
// after the flash option. Paths holding a blank are quoted, so the resumed run receives the same
// arguments; without blanks the text is the plain concatenation.
std::wstring ResumeCommandLine(const std::wstring& commandLine,
                               const std::wstring& programDirectory);

// The run-once value (REG_SZ without its terminating zero).
void RegisterRunOnce(const std::wstring& commandLine);

// Deletes the run value and "Config".
void TidyRegistry();
