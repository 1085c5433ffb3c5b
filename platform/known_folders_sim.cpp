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

ovn::Result<std::wstring> ProgramDataFolder() { return StateFolder("ProgramData"); }

ovn::Result<std::wstring> ProgramFilesFor32BitFolder() {
    // The simulated machine always knows its width.
    const auto wide = RunningUnderWow64();
    return StateFolder(wide && *wide ? "Program Files (x86)" : "Program Files");
}

ovn::Result<std::wstring> UserProfileFolder() { return StateFolder("Users/User"); }

ovn::Result<std::wstring> LocalAppDataFolder() { return StateFolder("Users/User/AppData/Local"); }

}  // namespace platform
