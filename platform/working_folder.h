// Working-folder seam: the one folder, writable by administrators only, where the elevated run
// keeps what it writes and later reads or starts (the device-console tool, the settings file, the
// copies a resumed run starts from).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/safe_file.h"

namespace platform {

struct tagWorkingFolder {
    std::wstring path;                 // ends in the path separator; empty when there is none
    std::vector<std::wstring> events;  // what was found wrong and done about it, for the log
    FileError error;                   // why there is no folder
    // What stands where a level of the folder must be, may not stay and cannot be moved aside (a
    // file a user made and holds open): its path and why it may not stay. Empty otherwise.
    std::wstring inTheWay;
    std::wstring inTheWayFault;
};

// "Orvane", then "OvnK740FpgaUpdater" under the program-data known folder (the host edition: under
// the simulated machine's state directory). Each level is created when missing, with a descriptor
// of its own: SYSTEM and Administrators full control, Users read and execute, nothing inherited
// (the host edition: mode 0755, owned by the running user). Every call judges both levels
// (platform/folder_trust_policy.h): a directory, no reparse point or link (the final path of an
// open handle is the path expected), owned by SYSTEM, Administrators or TrustedInstaller, only
// plain allow entries and none that lets anyone else write; a level that passes gets its
// descriptor written again. A level that fails, or whose descriptor cannot be written, is moved
// aside, which the events say, and created afresh; only when that fails too is the path empty.
tagWorkingFolder PrepareWorkingFolder();

}  // namespace platform
