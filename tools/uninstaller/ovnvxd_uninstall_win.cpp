// OvnVxdUninstall.exe: removes the driver-access components and their uninstall entry; it is what
// the system's list of installed programs runs for "Orvane OvnVxd Services".
#include <windows.h>

#include "hwaccess/driver_loader.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace driver_loader;
    // Same mutex as the loaders: never pull the files from under an installation in progress.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
    if (mutex == nullptr) return 1;
    if (WaitForSingleObject(mutex, kMutexWaitMs) != WAIT_OBJECT_0) {
        CloseHandle(mutex);
        return 1;
    }
    LoaderState state{};
    bool removed = CheckPlatform(state);
    if (removed) {
        // Files in use, this program among them, go at the next restart.
        removed = RemoveComponents(state.is64BitOs);
        DeleteUninstallEntry(state.is64BitOs);
    }
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return removed ? 0 : 1;
}
