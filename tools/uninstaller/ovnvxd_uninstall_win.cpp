// OvnVxdUninstall.exe: takes the OvnVxd driver out of service and removes the driver-access
// components and their uninstall entry; it is what the system's list of installed programs runs
// for "Orvane OvnVxd Services".
#include <windows.h>

#include <memory>

#include "hwaccess/driver_loader.h"
#include "tools/uninstaller/driver_service.h"

namespace {

constexpr std::uint32_t kDriverStopWaitMs = 10000;

struct CHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using CHandle = std::unique_ptr<void, CHandleCloser>;

// Holds the loaders' mutex for its lifetime, once acquired.
class CLoaderLock {
public:
    CLoaderLock() : mutex_(CreateMutexA(nullptr, FALSE, driver_loader::kMutexName)) {
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
