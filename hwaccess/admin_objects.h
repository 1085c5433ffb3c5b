// The loaders' named kernel objects reserved to administrators: created with an admin-only
// descriptor, and an object met under the same name judged by its owner and DACL before use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hwaccess/driver_access_failure.h"

namespace driver_loader {

// The objects every loading process shares: the mutex, and the block it guards.
inline constexpr const char* kMutexName = "Global\\OvnVxdWrapMutex";
inline constexpr const char* kSharedBlockName = "Global\\OvnVxdWrapData";

// The 8 bytes every loading process shares; read and written only while the mutex is held.
struct SharedWrapData {
    std::uint32_t installed;
    std::uint32_t loadCount;
};
static_assert(sizeof(SharedWrapData) == 8);

// Owner Administrators and a protected DACL with full access for SYSTEM and Administrators alone.
inline constexpr const char* kAdminOnlySddl = "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
inline constexpr const char* kSystemSid = "S-1-5-18";
inline constexpr const char* kAdministratorsSid = "S-1-5-32-544";

enum class AccessEntryKind { kAllow, kDeny, kOther };

// One entry of a DACL: its kind, trustee (string form of the SID) and access mask.
struct tagAccessEntry {
    AccessEntryKind kind;
    std::string sid;
    std::uint32_t mask;
};

// An object's descriptor as read back. An object created without one (Wine keeps none for a
// default descriptor) has no owner and no DACL.
struct tagObjectSecurity {
    std::string owner;  // string form of the owner's SID; empty when there is none
    bool hasDacl = false;
    std::vector<tagAccessEntry> entries;
};

// True when nobody but SYSTEM and Administrators can open the object: one of them owns it (an owner
// may always rewrite the DACL), it has a DACL (none lets everyone in), and every entry that grants
// anything names one of them. Deny entries only take away; entries of any other kind may grant, so
// they count against it.
bool AdminOnly(const tagObjectSecurity& security);

// A named mutex reserved to administrators: created with the admin-only descriptor, or opened when
// it exists and only administrators can reach it. Null otherwise, with `squatted` set when the
// object exists but others can reach it (or it refuses this process), and `error` naming the call.
// The caller owns the handle.
[[nodiscard]] void* CreateAdminOnlyMutex(const char* name, bool& squatted, ovn::Error& error);

// The loaders' mutex (kMutexName), created with the admin-only descriptor or opened when it exists
// and only administrators can reach it. Null with `failure` set otherwise: an object that a
// non-administrator could hold would let any program block every elevated loader. The caller owns
// the handle.
[[nodiscard]] void* CreateLoaderMutex(tagDriverAccessFailure& failure);

// The shared block (kSharedBlockName, 8 bytes): opened when it exists and only administrators can
// reach it, otherwise created with the admin-only descriptor; `created` tells whether this call
// made it. Null with `failure` set when it cannot be had or may be written by others.
[[nodiscard]] void* OpenSharedBlockObject(bool& created, tagDriverAccessFailure& failure);

// The owner and DACL of an open kernel object; false when they cannot be read.
[[nodiscard]] bool ReadObjectSecurity(void* handle, tagObjectSecurity& security);

}  // namespace driver_loader
