// The registry values of the restart cycle.
#include "app/cycle/reboot_resume.h"

#include <utility>

#include "app/cycle/cycle_log.h"
#include "platform/registry.h"

void RegisterRunOnce(const wchar_t* valueName, const std::wstring& commandLine) {
    const bool written = platform::RegistrySetString(kRunOnceKey, valueName, commandLine).ok();
    // A failed flush leaves the value written, only less sure to outlive a power cut; the log
    // already says whether it was written, and there is nothing else to try.
    (void)platform::RegistryFlushKey(kRunOnceKey);
    LogRunOnceWritten(valueName, commandLine, written);
}

void DeleteRunOnce(const wchar_t* valueName) {
    // A value that could not be deleted (most often: it was not there) needs no flush; a failed
    // flush leaves it deleted, only less sure to stay so across a power cut.
    if (platform::RegistryDeleteValue(kRunOnceKey, valueName).ok())
        (void)platform::RegistryFlushKey(kRunOnceKey);
}

std::optional<std::wstring> RegisteredRunOnce(const wchar_t* valueName) {
    auto commandLine = platform::RegistryGetString(kRunOnceKey, valueName);
    if (!commandLine) return std::nullopt;
    return std::move(*commandLine);
}

void TidyRegistry() {
    const bool runValueDeleted = platform::RegistryDeleteValue(kRunKey, kRunValueName).ok();
    const bool configDeleted = platform::RegistryDeleteValue(kUtilityKey, kConfigValueName).ok();
    // The log says what was deleted; a failed flush only makes that less sure to outlive a power
    // cut, and the next start tidies up again.
    (void)platform::RegistryFlushKey(kUtilityKey);
    LogTidyUp(runValueDeleted, configDeleted);
}
