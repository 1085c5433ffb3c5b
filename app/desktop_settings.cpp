// Saving, restoring and closing the desktop suite around the display driver's absence.
#include "app/desktop_settings.h"

#include <vector>

#include "app/console_log.h"
#include "app/cycle_log.h"
#include "app/reboot_resume.h"
#include "hwaccess/host_services.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/file_read.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/safe_file.h"
#include "platform/text_encoding.h"

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

bool RestoreSettingsFromRegistry(const std::wstring& settingsFile) {
    auto stored = platform::RegistryGetBytes(kUtilityKey, kConfigValueName);
    if (!stored || stored->empty()) return false;
    if (settingsFile.empty()) return false;
    // Every stored byte goes back: an odd length or a zero 16-bit unit is part of the settings.
    platform::FileError error;
    if (platform::ReplaceFileSafely(settingsFile, stored->data(), stored->size(), &error))
        return true;
    LogOnly(L"   The settings file %ls could not be written (%ls, error %u).\n",
            settingsFile.c_str(), Utf8ToWide(error.call).c_str(), error.code);
    return false;
}

void StoreSettingsInRegistry(const std::wstring& settingsFile) {
    if (settingsFile.empty()) return;
    platform::tagFileRead file =
        platform::ReadWholeFile(WideToUtf8(settingsFile), kLargestSettingsBytes);
    if (file.status == platform::FileReadStatus::kTooLarge) {
        LogOnly(L"   The settings file %ls is larger than %llu bytes: it is not stored.\n",
                settingsFile.c_str(), static_cast<unsigned long long>(kLargestSettingsBytes));
        return;
    }
    if (file.status != platform::FileReadStatus::kRead) {
        LogSettingsStored(false, 0);
        return;
    }
    const std::uint8_t empty = 0;
    platform::RegistrySetValue(kUtilityKey, kConfigValueName, platform::kRegSz,
                               file.bytes ? file.bytes.get() : &empty,
                               static_cast<std::uint32_t>(file.size));
    LogSettingsStored(true, file.size);
}

bool SettingsCopyStored() {
    auto stored = platform::RegistryGetBytes(kUtilityKey, kConfigValueName);
    return stored && !stored->empty();
}

void SaveOrRestoreSettings(CChildRunner& runner, const std::wstring& exportCommandLine,
                           const std::wstring& settingsFile) {
    if (RestoreSettingsFromRegistry(settingsFile)) {
        LogSettingsRestored(settingsFile, true);
    } else {
        const std::uint32_t exitCode =
            runner.RunAndWait(exportCommandLine, kExportWaitMilliseconds);
        LogSettingsExported(exportCommandLine, exitCode, settingsFile);
    }
    CloseDesktopSuite();
}

void CloseDesktopSuite() {
    SignalDesktopCoreClose();
    TerminateDesktopCore();
}
