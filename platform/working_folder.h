// Working-folder seam: the one folder, writable by administrators only, where the elevated run
// keeps what it writes and later reads or starts (the device-console tool, the settings file, the
// copies a resumed run starts from).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/folder_trust_policy.h"

namespace platform {

// "Orvane", then "OvnK740FpgaUpdater" under the program-data known folder (the host edition: under
// the simulated machine's state directory). Each level is created when missing, with a descriptor
// of its own: SYSTEM and Administrators full control, Users read and execute, nothing inherited
// (the host edition: mode 0755, owned by the running user). Every call judges both levels
// (platform/folder_trust_policy.h): a directory, no reparse point or link (the final path of an
// open handle is the path expected), owned by SYSTEM, Administrators or TrustedInstaller, only
// plain allow entries and none that lets anyone else write; a level that passes gets its
// descriptor written again. A level that fails, or whose descriptor cannot be written, is moved
// aside, which the events say, and created afresh; only when that fails too is there no folder,
// and the error says why, with the events.
[[nodiscard]] WorkingFolderResult PrepareWorkingFolder();

}  // namespace platform
