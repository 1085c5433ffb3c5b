// Known folders of the host edition: folders of the simulated machine's state directory.
#include "platform/known_folders.h"
#include "platform/process_identity.h"
#include "platform/text_encoding.h"
#include "simhost/host_store.h"

namespace platform {

namespace {

std::wstring StateFolder(const char* name) {
    return Utf8ToWide((sim::host::StateDirectory() / name).string());
}

}  // namespace

std::optional<std::wstring> ProgramDataFolder() { return StateFolder("ProgramData"); }

std::optional<std::wstring> ProgramFilesFor32BitFolder() {
    return StateFolder(RunningUnderWow64() ? "Program Files (x86)" : "Program Files");
}

std::optional<std::wstring> UserProfileFolder() { return StateFolder("Users/User"); }

std::optional<std::wstring> LocalAppDataFolder() { return StateFolder("Users/User/AppData/Local"); }

}  // namespace platform
