// The user's log folder, reached from the profile down without following a link at any level.
#pragma once

#include <string>

namespace platform {

struct tagLogFolder {
    std::wstring path;     // ends in the path separator; empty when the folder was refused
    std::wstring refusal;  // why not, for the operator: a level and what is wrong with it
};

// "Orvane\OvnK740FpgaUpdater" in the local application data known folder, which must lie in the
// user's profile folder. Every level below the profile (those of the known folder, then the two
// created when missing) is opened as itself and refused when it is a link, a reparse point or no
// folder, or when its open handle resolves to another place; the environment plays no part. The
// Windows edition keeps the levels open without delete sharing for the rest of the process, so
// none can be swapped for a link while the run appends to the log.
tagLogFolder PrepareLogFolder();

}  // namespace platform
