// Creates and checks the loaders' named mutex and shared block with an admin-only descriptor.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "base/win_handles_win.h"
#include "hwaccess/admin_objects.h"

namespace driver_loader {
namespace {

struct tagLocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using CLocalMemory = std::unique_ptr<void, tagLocalFreer>;

using ovn::ScopedKernelHandle;

// The admin-only descriptor as creation attributes; Get() is null when it could not be built.
class CAdminOnlyAttributes {
public:
    CAdminOnlyAttributes() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kAdminOnlySddl, SDDL_REVISION_1,
                                                                 &descriptor, nullptr)) {
            descriptor_.reset(descriptor);
        } else {
            error_ = GetLastError();
        }
        attributes_ = {sizeof attributes_, descriptor_.get(), FALSE};
    }
    SECURITY_ATTRIBUTES* Get() { return descriptor_ ? &attributes_ : nullptr; }
    DWORD Error() const { return error_; }

private:
    CLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
    DWORD error_ = 0;
};

std::string SidText(PSID sid) {
    LPSTR text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return {};
    const CLocalMemory hold(text);
    return text;
}

void Fail(tagDriverAccessFailure& failure, DriverAccessStep step, const char* call, DWORD code,
          const char* subject) {
    failure = {step, ovn::CallError(call != nullptr ? call : "", code), subject};
}

// An object that exists already is used only when nobody else can reach it. One that this process
// may not open with the rights it needs is taken, by the same reasoning, as held against it.
bool ReachedOnlyByAdministrators(HANDLE handle) {
    tagObjectSecurity security;
    return ReadObjectSecurity(handle, security) && AdminOnly(security);
}

}  // namespace

bool ReadObjectSecurity(void* handle, tagObjectSecurity& security) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_KERNEL_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const CLocalMemory hold(descriptor);
    security = {};
    security.owner = SidText(owner);
    security.hasDacl = dacl != nullptr;
    if (dacl == nullptr) return true;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            security.entries.push_back(
                {AccessEntryKind::kAllow, SidText(&allowed->SidStart), allowed->Mask});
        } else if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto* denied = static_cast<ACCESS_DENIED_ACE*>(ace);
            security.entries.push_back(
                {AccessEntryKind::kDeny, SidText(&denied->SidStart), denied->Mask});
        } else {
            security.entries.push_back({AccessEntryKind::kOther, {}, 0xFFFFFFFFu});
        }
    }
    return true;
}

void* CreateAdminOnlyMutex(const char* name, bool& squatted, ovn::Error& error) {
    squatted = false;
    CAdminOnlyAttributes attributes;
    if (attributes.Get() == nullptr) {
        error = ovn::CallError("ConvertStringSecurityDescriptorToSecurityDescriptorA",
                               attributes.Error());
        return nullptr;
    }
    ScopedKernelHandle mutex(CreateMutexA(attributes.Get(), FALSE, name));
    const DWORD code = GetLastError();
    if (!mutex) {
        squatted = code == ERROR_ACCESS_DENIED;
        error = ovn::CallError("CreateMutexA", code);
        return nullptr;
    }
    if (code == ERROR_ALREADY_EXISTS && !ReachedOnlyByAdministrators(mutex.get())) {
        squatted = true;
        error = ovn::CallError("", 0);
        return nullptr;
    }
    return mutex.release();
}

void* CreateLoaderMutex(tagDriverAccessFailure& failure) {
    bool squatted = false;
    ovn::Error error;
    void* mutex = CreateAdminOnlyMutex(kMutexName, squatted, error);
    if (mutex == nullptr) {
        failure = {
            squatted ? DriverAccessStep::kMutexSquatted : DriverAccessStep::kMutexUnavailable,
            error, kMutexName};
    }
    return mutex;
}

void* OpenSharedBlockObject(bool& created, tagDriverAccessFailure& failure) {
    created = false;
    ScopedKernelHandle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kSharedBlockName));
    if (!mapping) {
        CAdminOnlyAttributes attributes;
        if (attributes.Get() == nullptr) {
            Fail(failure, DriverAccessStep::kBlockUnavailable,
                 "ConvertStringSecurityDescriptorToSecurityDescriptorA", attributes.Error(),
                 kSharedBlockName);
            return nullptr;
        }
        mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, attributes.Get(), PAGE_READWRITE, 0,
                                         sizeof(SharedWrapData), kSharedBlockName));
        const DWORD error = GetLastError();
        if (!mapping) {
            const DriverAccessStep step = error == ERROR_ACCESS_DENIED
                                              ? DriverAccessStep::kBlockSquatted
                                              : DriverAccessStep::kBlockUnavailable;
            Fail(failure, step, "CreateFileMappingA", error, kSharedBlockName);
            return nullptr;
        }
        // Another process may have created it between the two calls; its words are then kept.
        created = error != ERROR_ALREADY_EXISTS;
    }
    if (!created && !ReachedOnlyByAdministrators(mapping.get())) {
        Fail(failure, DriverAccessStep::kBlockSquatted, nullptr, 0, kSharedBlockName);
        return nullptr;
    }
    return mapping.release();
}

}  // namespace driver_loader
