// How the running utility was started and on what: its command line, its resources, the WOW64 flag.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"

namespace platform {

// The process's whole command line as the platform gives it. The host edition joins its argument
// vector as Windows would have quoted it.
std::wstring ProcessCommandLine();

// The account the process runs as, "DOMAIN\name" ("NT AUTHORITY\SYSTEM" under a deployment
// engine). The host edition names its simulated user.
[[nodiscard]] ovn::Result<std::wstring> RunAccountName();

// True when the process token is elevated (an administrator's full token, or SYSTEM). The host
// edition stands for an elevated run.
[[nodiscard]] ovn::Result<bool> RunIsElevated();

// True when the utility is a 32-bit process on a 64-bit system. The host edition reads the
// simulated machine's "windows64".
[[nodiscard]] ovn::Result<bool> RunningUnderWow64();

// The bytes of an RCDATA resource of the utility's own module; fails when it cannot be found,
// loaded or locked, or is empty. The host edition's resources are the files in "resources" beside
// the program.
[[nodiscard]] ovn::Result<std::vector<std::uint8_t>> ModuleResource(const wchar_t* name);

}  // namespace platform
