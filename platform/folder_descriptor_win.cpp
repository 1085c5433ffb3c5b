// A folder's owner and DACL read into the trust policy's description, and the test for Wine,
// which stores no security descriptors.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include "platform/folder_descriptor_win.h"
#include "platform/system_library.h"

namespace platform {

namespace {

// Every right that lets a trustee change the folder, what is in it, or who may.
constexpr ACCESS_MASK kWriteRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES |
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

tagTrustee TrusteeOf(PSID sid) {
    tagTrustee trustee;
    LPWSTR text = nullptr;
    if (sid == nullptr || !IsValidSid(sid) || !ConvertSidToStringSidW(sid, &text)) {
        trustee.name = L"an unreadable SID";
        return trustee;
    }
    trustee.name = text;
    LocalFree(text);
    trustee.kind = TrusteeKindOfSid(trustee.name);
    return trustee;
}

AceKind KindOf(BYTE type) {
    switch (type) {
        case ACCESS_ALLOWED_ACE_TYPE:
            return AceKind::kAllow;
        case ACCESS_DENIED_ACE_TYPE:
            return AceKind::kDeny;
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            return AceKind::kCallback;
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
            return AceKind::kObject;
        default:
            return AceKind::kUnknown;
    }
}

tagFolderAce DescribeAce(const ACE_HEADER* header) {
    tagFolderAce ace;
    ace.kind = KindOf(header->AceType);
    ace.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    // Allow, deny and callback entries share one layout (header, mask, SID); object entries put
    // their GUIDs before the SID, and an unknown type may hold anything: those name no trustee.
    if (ace.kind == AceKind::kAllow || ace.kind == AceKind::kDeny ||
        header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
        header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE) {
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        ace.writes = (entry->Mask & kWriteRights) != 0;
        ace.trustee = TrusteeOf(const_cast<DWORD*>(&entry->SidStart));
    } else {
        ace.writes = true;
    }
    return ace;
}

}  // namespace

void DescribeSecurityDescriptor(const void* descriptor, tagFolderLevel& level) {
    auto* sd = const_cast<void*>(descriptor);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(sd, &owner, &defaulted)) owner = nullptr;
    level.owner = owner ? TrusteeOf(owner) : tagTrustee{TrusteeKind::kOther, L"nobody"};
    PACL dacl = nullptr;
    BOOL present = FALSE;
    level.hasDacl =
        GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) && present && dacl != nullptr;
    level.aces.clear();
    if (!level.hasDacl) return;
    // The analyser forgets that hasDacl implies dacl once aces.clear() may have changed level.
    // NOLINTNEXTLINE(clang-analyzer-core.NullDereference): hasDacl holds only with dacl set
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) {
            level.aces.push_back({AceKind::kUnknown, {}, true, false});
            continue;
        }
        level.aces.push_back(DescribeAce(static_cast<const ACE_HEADER*>(entry)));
    }
}

ovn::Status ReadFolderSecurity(void* handle, tagFolderLevel& level) {
    // Wine keeps no descriptors: it reports the user as owner with a DACL of SYSTEM and that user,
    // whatever was written. Only Wine's own export in System32's ntdll says so; the user's SID is
    // never taken as trusted for it, since on Windows that SID is also the one of every unelevated
    // program the operator runs.
    level.descriptorStored = !RunningUnderWine();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = GetSecurityInfo(handle, SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (read != ERROR_SUCCESS) return ovn::CallError("GetSecurityInfo", read);
    DescribeSecurityDescriptor(descriptor, level);
    LocalFree(descriptor);
    return ovn::Ok();
}

bool RunningUnderWine() {
    static const bool underWine = SystemLibraryExport(L"ntdll.dll", "wine_get_version").ok();
    return underWine;
}

}  // namespace platform
