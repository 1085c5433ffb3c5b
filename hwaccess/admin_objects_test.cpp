// Which descriptors keep the loaders' named objects out of a non-administrator's reach.
#include "hwaccess/admin_objects.h"

#include <gtest/gtest.h>

namespace driver_loader {
namespace {

constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kSynchronize = 0x00100000u;
const char* const kUser = "S-1-5-21-1004336348-1177238915-682003330-1001";
const char* const kEveryone = "S-1-1-0";

tagObjectSecurity AsCreated() {
    tagObjectSecurity security;
    security.owner = kAdministratorsSid;
    security.hasDacl = true;
    security.entries = {{AccessEntryKind::kAllow, kSystemSid, kGenericAll},
                        {AccessEntryKind::kAllow, kAdministratorsSid, kGenericAll}};
    return security;
}

TEST(AdminObjects, TheLoadersOwnDescriptorIsAcceptedAndSoIsOneOwnedBySystem) {
    EXPECT_TRUE(AdminOnly(AsCreated()));
    tagObjectSecurity system = AsCreated();
    system.owner = kSystemSid;
    EXPECT_TRUE(AdminOnly(system));
    // Entries that only take away, or grant nothing, open nothing to anyone.
    tagObjectSecurity narrowed = AsCreated();
    narrowed.entries.push_back({AccessEntryKind::kDeny, kEveryone, kSynchronize});
    narrowed.entries.push_back({AccessEntryKind::kAllow, kUser, 0});
    EXPECT_TRUE(AdminOnly(narrowed));
}

TEST(AdminObjects, ObjectsASquatterCanMakeAreRefused) {
    // Wine keeps no descriptor for an object made with the default one: no owner, no DACL.
    EXPECT_FALSE(AdminOnly(tagObjectSecurity{}));
    // Windows: an unelevated program's default descriptor, owner and DACL its user's.
    tagObjectSecurity userDefault;
    userDefault.owner = kUser;
    userDefault.hasDacl = true;
    userDefault.entries = {{AccessEntryKind::kAllow, kUser, kGenericAll},
                           {AccessEntryKind::kAllow, kSystemSid, kGenericAll}};
    EXPECT_FALSE(AdminOnly(userDefault));
    // The right owner, but the owner can be anyone's victim through the DACL.
    tagObjectSecurity nullDacl = AsCreated();
    nullDacl.hasDacl = false;
    nullDacl.entries.clear();
    EXPECT_FALSE(AdminOnly(nullDacl));
    tagObjectSecurity everyoneMayWait = AsCreated();
    everyoneMayWait.entries.push_back({AccessEntryKind::kAllow, kEveryone, kSynchronize});
    EXPECT_FALSE(AdminOnly(everyoneMayWait));
    // An entry kind not understood here may grant access: it counts against the object.
    tagObjectSecurity unknownKind = AsCreated();
    unknownKind.entries.push_back({AccessEntryKind::kOther, "", 0xFFFFFFFFu});
    EXPECT_FALSE(AdminOnly(unknownKind));
}

}  // namespace
}  // namespace driver_loader
