// Saving, restoring and closing the desktop suite around the display driver's absence.
#include "app/cycle/desktop_settings.h"

#include <vector>

#include "app/console/console_log.h"
#include "app/cycle/cycle_log.h"
#include "app/cycle/reboot_resume.h"
#include "app/host/host_services.h"
#include "platform/atomic_file.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "text/text_encoding.h"

std::wstring SuiteDirectory() {
    const auto base = platform::ProgramFilesFor32BitFolder();
    if (!base) return {};
    const wchar_t separator = platform::PathSeparator();
    std::wstring directory = *base;
    directory += separator;
    directory += L"Orvane Graphics";
    directory += separator;
    directory += L"Panelux";
    directory += separator;
    return directory;
}

std::wstring SettingsFilePath(const std::wstring& workingFolder) {
    if (workingFolder.empty()) return {};
    return workingFolder + L"pxcfg.txt";
}

namespace {

std::wstring SuiteCommandLine(const std::wstring& suiteDirectory, const wchar_t* verb,
                              const std::wstring& settingsFile) {
    if (suiteDirectory.empty()) return {};
    return platform::QuoteIfBlank(suiteDirectory + L"Orvane.PluxCmd.exe") + L" " + verb + L" " +
           platform::QuoteIfBlank(settingsFile);
}

}  // namespace

std::wstring SuiteExportCommandLine(const std::wstring& suiteDirectory,
                                    const std::wstring& settingsFile) {
    return SuiteCommandLine(suiteDirectory, L"/export", settingsFile);
}

std::wstring SuiteImportCommandLine(const std::wstring& suiteDirectory,
                                    const std::wstring& settingsFile) {
    return SuiteCommandLine(suiteDirectory, L"/import", settingsFile);
}

// Given to a new file of the run's own first, so the removal takes a plain file of one name and can
// never reach through a link.
void ClearSettingsFileName(const std::wstring& settingsFile) {
    if (settingsFile.empty()) return;
    const platform::FileStatus written =
        platform::ReplaceFileAtomically(settingsFile, std::string());
    if (written && platform::RemoveFileName(settingsFile)) return;
    // The line names the write's failure; a name that would not go after it names no call.
    const platform::FileError error = written ? platform::FileError() : written.error();
    LogOnly(L"   The settings file %ls could not be cleared before the export (%ls, error %u).\n",
            settingsFile.c_str(), Utf8ToWide(error.call).c_str(), error.code);
}

bool RestoreSettingsFromRegistry(const std::wstring& settingsFile) {
    auto stored = platform::RegistryGetBytes(kUtilityKey, kConfigValueName);
    if (!stored || stored->empty()) return false;
    if (settingsFile.empty()) return false;
    // Every stored byte goes back: an odd length or a zero 16-bit unit is part of the settings.
    // A new file under the name, as the folder's descriptor makes it: the import at the next logon
    // reads nothing that someone else created or can still write.
    const platform::FileStatus written =
        platform::ReplaceFileAtomically(settingsFile, std::string(stored->begin(), stored->end()));
    if (written) return true;
    LogOnly(L"   The settings file %ls could not be written (%ls, error %u).\n",
            settingsFile.c_str(), Utf8ToWide(written.error().call).c_str(), written.error().code);
    return false;
}

void StoreSettingsInRegistry(const std::wstring& settingsFile) {
    if (settingsFile.empty()) return;
    // Read as every file of the run is: a link, a second name or a reparse point is refused.
    const platform::FileResult<std::string> bytes =
        platform::ReadFileSafely(settingsFile, kLargestSettingsBytes);
    if (!bytes && bytes.error().tooLarge) {
        LogOnly(L"   The settings file %ls is larger than %llu bytes: it is not stored.\n",
                settingsFile.c_str(), static_cast<unsigned long long>(kLargestSettingsBytes));
        return;
    }
    if (!bytes) {
        LogSettingsStored(false, 0);
        return;
    }
    // A copy the registry refused is found missing by SettingsCopyStored, which asks the registry
    // itself, so the failure needs no word of its own here.
    (void)platform::RegistrySetValue(kUtilityKey, kConfigValueName, platform::kRegSz, bytes->data(),
                                     static_cast<std::uint32_t>(bytes->size()));
    LogSettingsStored(true, bytes->size());
}

bool SettingsCopyStored() {
    auto stored = platform::RegistryGetBytes(kUtilityKey, kConfigValueName);
    return stored && !stored->empty();
}

void SaveOrRestoreSettings(CHostServices& host, CChildRunner& runner,
                           const std::wstring& exportCommandLine,
                           const std::wstring& settingsFile) {
    if (RestoreSettingsFromRegistry(settingsFile)) {
        LogSettingsRestored(settingsFile, true);
    } else {
        ClearSettingsFileName(settingsFile);
        const std::uint32_t exitCode =
            runner.RunAndWait(exportCommandLine, kExportWaitMilliseconds);
        LogSettingsExported(exportCommandLine, exitCode, settingsFile);
    }
    CloseDesktopSuite(host);
}

void CloseDesktopSuite(CHostServices& host) {
    SignalDesktopCoreClose();
    host.TerminateDesktopCore();
}
