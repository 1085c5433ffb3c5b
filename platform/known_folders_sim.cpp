// Known folders of the host edition: folders of the simulated machine's state directory.
#include "platform/known_folders.h"
#include "platform/process_identity.h"
#include "simhost/host_store.h"
#include "text/text_encoding.h"

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
