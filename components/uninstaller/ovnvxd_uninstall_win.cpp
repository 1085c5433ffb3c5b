// OvnVxdUninstall.exe: takes the OvnVxd driver out of service and removes the driver-access
// components and their uninstall entry; it is what the system's list of installed programs runs
// for "Orvane OvnVxd Services".
#include <windows.h>

#include <memory>

#include "hwaccess/admin_objects.h"
#include "hwaccess/driver_loader.h"
#include "components/uninstaller/driver_service.h"

namespace {

constexpr std::uint32_t kDriverStopWaitMs = 10000;
// Exit codes: 1 loaders' mutex not had or unsupported system, 2 files left, 3 service left,
// 4 no administrator rights.
constexpr int kNoRights = 4;

constexpr const wchar_t* kTitle = L"Orvane OvnVxd Services";
constexpr const wchar_t* kNoRightsText =
    L"Removing Orvane OvnVxd Services needs administrator rights.\n\n"
    L"Start the uninstaller from the list of installed programs, or right-click it and choose "
    L"\"Run as administrator\".";

struct CHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using CHandle = std::unique_ptr<void, CHandleCloser>;

// The manifest asks for elevation, but a program started by another without it (or where the
// manifest is ignored) runs with a filtered token, in which Administrators is a deny-only group.
bool RunsAsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    const BOOL checked = CheckTokenMembership(nullptr, administrators, &member);
    FreeSid(administrators);
    return checked && member;
}

// Holds the loaders' mutex for its lifetime, once acquired.
class CLoaderLock {
public:
    CLoaderLock() {
        tagDriverAccessFailure failure;
        mutex_.reset(driver_loader::CreateLoaderMutex(failure));
        if (mutex_) {
            held_ = WaitForSingleObject(mutex_.get(), driver_loader::kMutexWaitMs) == WAIT_OBJECT_0;
        }
    }
    ~CLoaderLock() {
        if (held_) ReleaseMutex(mutex_.get());
    }
    CLoaderLock(const CLoaderLock&) = delete;
    CLoaderLock& operator=(const CLoaderLock&) = delete;
    bool Held() const { return held_; }

private:
    CHandle mutex_;
    bool held_ = false;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace driver_loader;
    if (!RunsAsAdministrator()) {
        MessageBoxW(nullptr, kNoRightsText, kTitle, MB_OK | MB_ICONERROR);
        return kNoRights;
    }
    // Same mutex as the loaders: never pull the files from under an installation in progress.
    CLoaderLock lock;
    if (!lock.Held()) return 1;
    LoaderState state{};
    if (!CheckPlatform(state)) return 1;
    // The driver goes out of service first, so that its image is no longer in use.
    tagServiceError serviceError;
    const bool serviceRemoved = StopAndDeleteDriverService(kDriverStopWaitMs, serviceError);
    // Files in use, this program among them, go at the next restart: that counts as removed.
    if (!RemoveComponents(state.is64BitOs)) return 2;
    // The entry stays while files remain, so that the uninstaller can be run again.
    DeleteUninstallEntry(state.is64BitOs);
    return serviceRemoved ? 0 : 3;
}
