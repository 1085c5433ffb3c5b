// Known-folder seam: the system's own folders, from the system and never from the environment.
// Each fails when the system does not name the folder (the error is its call and code).
#pragma once

#include <string>

#include "base/result.h"

namespace platform {

// The folder for data shared by all users ("C:\ProgramData"), without a trailing separator.
// The host edition: "ProgramData" in the simulated machine's state directory.
[[nodiscard]] ovn::Result<std::wstring> ProgramDataFolder();

// Where 32-bit programs are installed: the 32-bit program files folder on a 64-bit system (for a
// process of either width), the program files folder on a 32-bit one; without a trailing
// separator. The host edition: "Program Files (x86)" or "Program Files" in the state directory,
// after the simulated machine's width.
[[nodiscard]] ovn::Result<std::wstring> ProgramFilesFor32BitFolder();

// The running user's profile folder as the system's profile list records it (never %USERPROFILE%),
// without a trailing separator. The host edition: "Users/User" in the state directory.
[[nodiscard]] ovn::Result<std::wstring> UserProfileFolder();

// The running user's local application data folder, without a trailing separator. It is the user's
// to redirect, so callers that write there check that it lies in UserProfileFolder(). The host
// edition: "AppData/Local" in UserProfileFolder().
[[nodiscard]] ovn::Result<std::wstring> LocalAppDataFolder();

}  // namespace platform
