// Stops and deletes the OvnVxd kernel-driver service through the service manager.
#include <windows.h>

#include "base/win_handles_win.h"
#include "components/uninstaller/driver_service.h"

namespace {

ovn::Error LastError(const char* call) { return ovn::CallError(call, GetLastError()); }

// Polled: a kernel driver has no stop-pending notification worth waiting on.
bool WaitUntilStopped(SC_HANDLE service, std::uint32_t waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
}

}  // namespace

ovn::Status StopAndDeleteDriverService(std::uint32_t waitMs) {
    ovn::ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return LastError("OpenSCManagerW");
    ovn::ScopedServiceHandle service(
        OpenServiceW(manager.get(), L"OvnVxd", SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return ovn::Ok();
        return LastError("OpenServiceW");
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        // A driver still held open by a process stays loaded; its deletion then waits for the
        // restart, and the files go at the restart too.
        WaitUntilStopped(service.get(), waitMs);
    }
    // A stop that failed (other than for a driver not running) still lets the deletion be tried:
    // the entry then goes once the driver unloads.
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        return LastError("DeleteService");
    }
    return ovn::Ok();
}
