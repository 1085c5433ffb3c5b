// OvnVxd.dll's transport on Windows: the service manager to start the driver, DeviceIoControl to
// talk to it.
#include <windows.h>

#include <type_traits>

#include "components/ovnvxd/ovnvxd_device.h"
#include "components/ovnvxd/ovnvxd_protocol.h"

namespace {

// The database stays locked while another service's start is pending, up to the manager's start
// timeout for each in turn; a freshly booted system can hold it for a minute.
constexpr DWORD kStartWaitMs = 120000;
constexpr DWORD kStartRetryMs = 100;

struct CServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using CServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CServiceHandleCloser>;

// Owns the device handle; the handle is closed with the transport (or by the process's end),
// and the driver then releases every mapping made through it.
class CDeviceTransport : public COvnVxdTransport {
public:
    explicit CDeviceTransport(HANDLE device) : device_(device) {}
    ~CDeviceTransport() override { CloseHandle(device_); }
    CDeviceTransport(const CDeviceTransport&) = delete;
    CDeviceTransport& operator=(const CDeviceTransport&) = delete;

    bool Control(std::uint32_t code, void* buffer, std::uint32_t inLength, std::uint32_t outLength,
                 std::uint32_t* answered, std::uint32_t* error) override {
        DWORD returned = 0;
        const BOOL ok =
            DeviceIoControl(device_, code, buffer, inLength, buffer, outLength, &returned, nullptr);
        *answered = ok ? returned : 0;
        *error = ok ? 0 : GetLastError();
        return ok != FALSE;
    }

private:
    HANDLE device_;
};

HANDLE OpenDevice() {
    // Not inheritable: the mappings belong to this process alone.
    return CreateFileW(OVNVXD_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Fail(tagOvnVxdOpenError& error, const char* call) {
    error.call = call;
    error.code = GetLastError();
    return false;
}

bool StartDriver(tagOvnVxdOpenError& error) {
    CServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) return Fail(error, "OpenSCManagerW");
    constexpr DWORD kAccess = SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG;
    CServiceHandle service(OpenServiceW(manager.get(), kOvnVxdServiceName, kAccess));
    if (service) {
        // An entry left by anything else must not start another image.
        if (!ChangeServiceConfigW(service.get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_NORMAL, kOvnVxdDriverImage, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, kOvnVxdServiceName)) {
            return Fail(error, "ChangeServiceConfigW");
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
        if (!service) return Fail(error, "CreateServiceW");
    }
    if (!service) return Fail(error, "OpenServiceW");
    // A start that meets the locked database, or that timed out while the system was still busy
    // starting other services, is tried again for a while.
    const ULONGLONG deadline = GetTickCount64() + kStartWaitMs;
    for (;;) {
        if (StartServiceW(service.get(), 0, nullptr)) return true;
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_ALREADY_RUNNING) return true;
        const bool busy =
            code == ERROR_SERVICE_DATABASE_LOCKED || code == ERROR_SERVICE_REQUEST_TIMEOUT;
        if (!busy || GetTickCount64() >= deadline) break;
        Sleep(kStartRetryMs);
    }
    return Fail(error, "StartServiceW");
}

}  // namespace

std::unique_ptr<COvnVxdTransport> OpenOvnVxdDevice(tagOvnVxdOpenError& error) {
    HANDLE device = OpenDevice();
    if (device == INVALID_HANDLE_VALUE) {
        if (!StartDriver(error)) return nullptr;
        device = OpenDevice();
        if (device == INVALID_HANDLE_VALUE) {
            Fail(error, "CreateFileW");
            return nullptr;
        }
    }
    return std::make_unique<CDeviceTransport>(device);
}
