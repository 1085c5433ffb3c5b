// The user's log folder, reached from the profile down without following a link at any level.
#pragma once

#include <string>

#include "base/result.h"

namespace platform {

// "Orvane\OvnK740FpgaUpdater" in the local application data known folder, which must lie in the
// user's profile folder. Every level below the profile (those of the known folder, then the two
// created when missing) is opened as itself and refused when it is a link, a reparse point or no
// folder, or when its open handle resolves to another place; the environment plays no part. The
// Windows edition keeps the levels open without delete sharing for the rest of the process, so
// none can be swapped for a link while the run appends to the log. The folder's path ends in the
// path separator. A refused folder fails with the call (or the check) that refused it and, as the
// error's text (UTF-8), why for the operator: a level and what is wrong with it.
[[nodiscard]] ovn::Result<std::wstring> PrepareLogFolder();

}  // namespace platform
