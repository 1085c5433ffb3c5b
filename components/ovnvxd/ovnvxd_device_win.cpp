// OvnVxd.dll's transport on Windows: the service manager to start the driver, DeviceIoControl to
// talk to it.
#include <windows.h>

#include "base/win_handles_win.h"
#include "components/ovnvxd/ovnvxd_device.h"
#include "components/ovnvxd/ovnvxd_protocol.h"

namespace {

// The database stays locked while another service's start is pending, up to the manager's start
// timeout for each in turn; a freshly booted system can hold it for a minute.
constexpr DWORD kStartWaitMs = 120000;
constexpr DWORD kStartRetryMs = 100;

// Owns the device handle; the handle is closed with the transport (or by the process's end),
// and the driver then releases every mapping made through it.
class CDeviceTransport : public COvnVxdTransport {
public:
    explicit CDeviceTransport(ovn::ScopedKernelHandle device) : device_(std::move(device)) {}

    bool Control(std::uint32_t code, void* buffer, std::uint32_t inLength, std::uint32_t outLength,
                 std::uint32_t* answered, std::uint32_t* error) override {
        DWORD returned = 0;
        const BOOL ok = DeviceIoControl(device_.get(), code, buffer, inLength, buffer, outLength,
                                        &returned, nullptr);
        *answered = ok ? returned : 0;
        *error = ok ? 0 : GetLastError();
        return ok != FALSE;
    }

private:
    ovn::ScopedKernelHandle device_;
};

ovn::ScopedKernelHandle OpenDevice() {
    // Not inheritable: the mappings belong to this process alone.
    return ovn::ScopedKernelHandle(CreateFileW(
        OVNVXD_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

ovn::Error LastError(const char* call) { return ovn::CallError(call, GetLastError()); }

ovn::Status StartDriver() {
    ovn::ScopedServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) return LastError("OpenSCManagerW");
    constexpr DWORD kAccess = SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG;
    ovn::ScopedServiceHandle service(OpenServiceW(manager.get(), kOvnVxdServiceName, kAccess));
    if (service) {
        // An entry left by anything else must not start another image.
        if (!ChangeServiceConfigW(service.get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_NORMAL, kOvnVxdDriverImage, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, kOvnVxdServiceName)) {
            return LastError("ChangeServiceConfigW");
        }
    } else if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
        service.reset(CreateServiceW(manager.get(), kOvnVxdServiceName, kOvnVxdServiceName, kAccess,
                                     SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_NORMAL, kOvnVxdDriverImage, nullptr, nullptr,
                                     nullptr, nullptr, nullptr));
        // Another process created it meanwhile.
        if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
            service.reset(OpenServiceW(manager.get(), kOvnVxdServiceName, kAccess));
        }
        if (!service) return LastError("CreateServiceW");
    }
    if (!service) return LastError("OpenServiceW");
    // A start that meets the locked database, or that timed out while the system was still busy
    // starting other services, is tried again for a while.
    const ULONGLONG deadline = GetTickCount64() + kStartWaitMs;
    for (;;) {
        if (StartServiceW(service.get(), 0, nullptr)) return ovn::Ok();
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_ALREADY_RUNNING) return ovn::Ok();
        const bool busy =
            code == ERROR_SERVICE_DATABASE_LOCKED || code == ERROR_SERVICE_REQUEST_TIMEOUT;
        if (!busy || GetTickCount64() >= deadline) break;
        Sleep(kStartRetryMs);
    }
    return LastError("StartServiceW");
}

}  // namespace

ovn::Result<std::unique_ptr<COvnVxdTransport>> OpenOvnVxdDevice() {
    ovn::ScopedKernelHandle device = OpenDevice();
    if (!device) {
        if (ovn::Status started = StartDriver(); !started) return started.error();
        device = OpenDevice();
        if (!device) return LastError("CreateFileW");
    }
    return std::unique_ptr<COvnVxdTransport>(std::make_unique<CDeviceTransport>(std::move(device)));
}
