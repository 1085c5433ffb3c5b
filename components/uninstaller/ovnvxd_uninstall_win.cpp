// OvnVxdUninstall.exe: takes the OvnVxd driver out of service and removes the driver-access
// components and their uninstall entry; it is what the system's list of installed programs runs
// for "Orvane OvnVxd Services".
#include <windows.h>

#include "base/win_handles_win.h"
#include "components/uninstaller/driver_service.h"
#include "hwaccess/admin_objects.h"
#include "hwaccess/driver_loader.h"

namespace {

constexpr std::uint32_t kDriverStopWaitMs = 10000;
// The uninstaller's exit codes.
constexpr int kRemoved = 0;
constexpr int kNoLockOrPlatform = 1;  // the loaders' mutex not had, or an unsupported system
constexpr int kFilesLeft = 2;
constexpr int kServiceLeft = 3;
constexpr int kNoRights = 4;

constexpr const wchar_t* kTitle = L"Orvane OvnVxd Services";
constexpr const wchar_t* kNoRightsText =
    L"Removing Orvane OvnVxd Services needs administrator rights.\n\n"
    L"Start the uninstaller from the list of installed programs, or right-click it and choose "
    L"\"Run as administrator\".";

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
    ovn::ScopedKernelHandle mutex_;
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
    if (!lock.Held()) return kNoLockOrPlatform;
    LoaderState state{};
    if (!CheckPlatform(state)) return kNoLockOrPlatform;
    // The driver goes out of service first, so that its image is no longer in use.
    const bool serviceRemoved = StopAndDeleteDriverService(kDriverStopWaitMs).ok();
    // Files in use, this program among them, go at the next restart: that counts as removed.
    if (!RemoveComponents(state.is64BitOs)) return kFilesLeft;
    // The entry stays while files remain, so that the uninstaller can be run again.
    DeleteUninstallEntry(state.is64BitOs);
    return serviceRemoved ? kRemoved : kServiceLeft;
}
