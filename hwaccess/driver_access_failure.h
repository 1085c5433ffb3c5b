// Why the driver-access library could not be opened, or could not reach its driver: the step, the
// system call with its error code, and what the step was working on.
#pragma once

#include <string>

#include "base/result.h"

enum class DriverAccessStep {
    kNone,
    kMutexUnavailable,  // the loaders' mutex could not be created or opened
    kMutexSquatted,     // it exists, but a non-administrator could hold or change it
    kMutexBusy,         // another loader held it for longer than the wait
    kMutexAbandoned,    // its last holder ended without releasing it
    kBlockUnavailable,  // the shared block could not be created or opened
    kBlockSquatted,     // it exists, but a non-administrator could write it
    kBlockMap,          // it could not be mapped
    kPlatform,          // a processor architecture without component images
    kInstallFile,       // a component file could not be written
    kUninstallEntry,    // the uninstall entry could not be created
    kLoadLibrary,       // the library would not load
    kDriver,            // the library could not bring its driver into service or open its device
};

struct tagDriverAccessFailure {
    DriverAccessStep step = DriverAccessStep::kNone;
    ovn::Error error;     // the system call that failed (empty when none did) and its code (or 0)
    std::string subject;  // the object, file or key the step was working on
};
