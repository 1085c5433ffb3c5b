// The registry values of the restart cycle.
#include "app/reboot_resume.h"

#include "platform/registry.h"

void RegisterRunOnce(const std::wstring& commandLine) {
    platform::RegistrySetString(kRunOnceKey, kRunValueName, commandLine);
}

void TidyRegistry() {
    platform::RegistryDeleteValue(kRunKey, kRunValueName);
    platform::RegistryDeleteValue(kUtilityKey, kConfigValueName);
}
