// The registry values of the restart cycle.
#include "app/cycle/reboot_resume.h"

#include "app/cycle/cycle_log.h"
#include "platform/registry.h"

void RegisterRunOnce(const wchar_t* valueName, const std::wstring& commandLine) {
    const bool written = platform::RegistrySetString(kRunOnceKey, valueName, commandLine);
    platform::RegistryFlushKey(kRunOnceKey);
    LogRunOnceWritten(valueName, commandLine, written);
}

void DeleteRunOnce(const wchar_t* valueName) {
    if (platform::RegistryDeleteValue(kRunOnceKey, valueName))
        platform::RegistryFlushKey(kRunOnceKey);
}

std::optional<std::wstring> RegisteredRunOnce(const wchar_t* valueName) {
    return platform::RegistryGetString(kRunOnceKey, valueName);
}

void TidyRegistry() {
    const bool runValueDeleted = platform::RegistryDeleteValue(kRunKey, kRunValueName);
    const bool configDeleted = platform::RegistryDeleteValue(kUtilityKey, kConfigValueName);
    platform::RegistryFlushKey(kUtilityKey);
    LogTidyUp(runValueDeleted, configDeleted);
}
