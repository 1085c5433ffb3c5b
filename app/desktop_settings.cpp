// Saving, restoring and closing the desktop suite around the display driver's absence.
#include "app/desktop_settings.h"

#include <cstdio>
#include <vector>

#include "app/cycle_log.h"
#include "app/reboot_resume.h"
#include "hwaccess/host_services.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/registry.h"

std::wstring SuiteDirectory() {
    auto base = platform::GetEnvironmentWide(L"programfiles(x86)", 260);
    if (!base) base = platform::GetEnvironmentWide(L"programfiles", 260);
    const wchar_t separator = platform::PathSeparator();
    std::wstring directory = base.value_or(L"");
    directory += separator;
    directory += L"Orvane Graphics";
    directory += separator;
    directory += L"Panelux";
    directory += separator;
    return directory;
}

std::wstring SettingsFilePath(const std::wstring& temporaryDirectory) {
    if (temporaryDirectory.empty()) return {};
    return temporaryDirectory + L"pxcfg.txt";
}

namespace {

std::wstring SuiteCommandLine(const std::wstring& suiteDirectory, const wchar_t* verb,
                              const std::wstring& settingsFile) {
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
    // Every stored byte goes back: an odd length or a zero 16-bit unit is part of the settings.
    std::FILE* file = std::fopen(platform::NarrowPath(settingsFile).c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(stored->data(), 1, stored->size(), file) == stored->size();
    return std::fclose(file) == 0 && written;
}

void StoreSettingsInRegistry(const std::wstring& settingsFile) {
    std::FILE* file = std::fopen(platform::NarrowPath(settingsFile).c_str(), "rb");
    if (!file) {
        LogSettingsStored(false, 0);
        return;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    platform::RegistrySetValue(kUtilityKey, kConfigValueName, platform::kRegSz, bytes.data(),
                               static_cast<std::uint32_t>(bytes.size()));
    LogSettingsStored(true, bytes.size());
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
