// The restart cycle's registry values and the run-once entry.
#pragma once

#include <optional>
#include <string>

inline constexpr const wchar_t* kRunOnceKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const wchar_t* kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kUtilityKey = L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater";
inline constexpr const wchar_t* kRunValueName = L"OvnK740FpgaUpdater";
inline constexpr const wchar_t* kConfigValueName = L"Config";
// The run-once values of the cycle. The '!' makes the platform delete a value only after its
// command has run, so an entry cut off by a power loss runs again at the next logon. The resume and
// the import have names of their own: the resumed run registers the import while the platform
// still has to delete the resume entry that started it.
inline constexpr const wchar_t* kResumeValueName = L"!OvnK740FpgaUpdater";
inline constexpr const wchar_t* kImportValueName = L"!OvnK740FpgaUpdaterImport";
// The repair: the working folder's program copy with -q and no image. Registered before the run
// first changes the machine, so a run cut off anywhere leaves the logon a start that puts back
// the power and a driver the journal says may be off.
inline constexpr const wchar_t* kRepairValueName = L"!OvnK740FpgaUpdaterRepair";
// A resumed run that needs one more restart for disabling (its first was cut off) cannot keep its
// own entry, which the platform deletes once it ends: it registers this one instead. A run not
// started by the resume entry never registers it (its first name stays).
inline constexpr const wchar_t* kResumeAgainValueName = L"!OvnK740FpgaUpdaterResume";

// A run-once value (REG_SZ without its terminating zero), flushed before it returns.
void RegisterRunOnce(const wchar_t* valueName, const std::wstring& commandLine);
void DeleteRunOnce(const wchar_t* valueName);
// The command line of a registered run-once value.
std::optional<std::wstring> RegisteredRunOnce(const wchar_t* valueName);

// Deletes the run value and "Config".
void TidyRegistry();
