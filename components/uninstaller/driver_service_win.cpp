// Stops and deletes the OvnVxd kernel-driver service through the service manager.
#include <windows.h>

#include <memory>
#include <type_traits>

#include "components/uninstaller/driver_service.h"

namespace {

struct CServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using CServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CServiceHandleCloser>;

bool Fail(tagServiceError& error, const char* call) {
    error.call = call;
    error.code = GetLastError();
    return false;
}

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

bool StopAndDeleteDriverService(std::uint32_t waitMs, tagServiceError& error) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Fail(error, "OpenSCManagerW");
    CServiceHandle service(
        OpenServiceW(manager.get(), L"OvnVxd", SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
        return Fail(error, "OpenServiceW");
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        // A driver still held open by a process stays loaded; its deletion then waits for the
        // restart, and the files go at the restart too.
        WaitUntilStopped(service.get(), waitMs);
    } else if (GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        Fail(error, "ControlService");
    }
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        return Fail(error, "DeleteService");
    }
    return true;
}
