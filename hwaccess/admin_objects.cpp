// Judges a named object's owner and DACL: only SYSTEM and Administrators may reach it.
#include "hwaccess/admin_objects.h"

namespace driver_loader {
namespace {

bool IsAdministrative(const std::string& sid) {
    return sid == kSystemSid || sid == kAdministratorsSid;
}

}  // namespace

bool AdminOnly(const tagObjectSecurity& security) {
    if (!IsAdministrative(security.owner) || !security.hasDacl) return false;
    for (const tagAccessEntry& entry : security.entries) {
        if (entry.kind == AccessEntryKind::kDeny || entry.mask == 0) continue;
        if (entry.kind == AccessEntryKind::kOther || !IsAdministrative(entry.sid)) return false;
    }
    return true;
}

}  // namespace driver_loader
