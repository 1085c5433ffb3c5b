// How the running utility was started and on what: its command line, its resources, the WOW64 flag.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The process's whole command line as the platform gives it. The host edition joins its argument
// vector as Windows would have quoted it.
std::wstring ProcessCommandLine();

// The account the process runs as, "DOMAIN\name" ("NT AUTHORITY\SYSTEM" under a deployment
// engine); empty when the system cannot say. The host edition names its simulated user.
std::wstring RunAccountName();

// True when the process token is elevated (an administrator's full token, or SYSTEM). The host
// edition stands for an elevated run.
bool RunIsElevated();

// True when the utility is a 32-bit process on a 64-bit system. The host edition reads the
// simulated machine's "windows64".
bool RunningUnderWow64();

// The bytes of an RCDATA resource of the utility's own module; nothing when it cannot be found,
// loaded or locked. The host edition's resources are the files in "resources" beside the program.
std::optional<std::vector<std::uint8_t>> ModuleResource(const wchar_t* name);

}  // namespace platform
