// The registry values of the restart cycle.
#include "app/reboot_resume.h"

#include "app/cycle_log.h"
#include "platform/registry.h"

void RegisterRunOnce(const std::wstring& commandLine) {
    LogRunOnceWritten(commandLine,
                      platform::RegistrySetString(kRunOnceKey, kRunValueName, commandLine));
}

void TidyRegistry() {
    const bool runValueDeleted = platform::RegistryDeleteValue(kRunKey, kRunValueName);
    LogTidyUp(runValueDeleted, platform::RegistryDeleteValue(kUtilityKey, kConfigValueName));
}
