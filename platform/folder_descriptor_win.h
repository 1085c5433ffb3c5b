// The Windows primitives' view of a folder's security: a descriptor mapped to the trust policy's
// neutral description, and whether the system stores descriptors at all.
#pragma once

#include "base/result.h"
#include "platform/folder_trust_policy.h"

namespace platform {

// Fills level.owner, level.hasDacl and level.aces from a security descriptor (a
// PSECURITY_DESCRIPTOR, kept void* so this header needs no Windows headers) holding the owner and
// the DACL.
void DescribeSecurityDescriptor(const void* descriptor, tagFolderLevel& level);

// Reads the owner and DACL of the open handle (READ_CONTROL) into level, and whether the system
// stores descriptors at all; the error names the call that could not read them.
[[nodiscard]] ovn::Status ReadFolderSecurity(void* handle, tagFolderLevel& level);

// Whether this process runs under Wine, told by Wine's own export of the system's ntdll.dll
// (loaded from System32 only), which no user can place there.
bool RunningUnderWine();

}  // namespace platform
