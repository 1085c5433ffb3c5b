// OvnVxd.dll's six exports over the process's one client of the OvnVxd.sys device, and the one
// that tells why the device could not be opened.
#include <atomic>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "components/ovnvxd/ovnvxd_abi.h"
#include "components/ovnvxd/ovnvxd_client.h"
#include "components/ovnvxd/ovnvxd_device.h"

namespace {

// The library's process state: the device and its client, made on first use. Never destroyed:
// detached worker threads may still be inside memWrite while the process ends; the system closes
// the device handle then, and the driver releases the mappings.
struct CLibrary {
    std::mutex lock;
    std::unique_ptr<COvnVxdTransport> transport;
    std::unique_ptr<COvnVxdClient> client;
    std::atomic<COvnVxdClient*> ready{nullptr};
    ovn::Error lastOpenError;  // an empty call: the last attempt opened the device
};

CLibrary& Library() {
    // Process-wide: the library's exports are plain functions that the program hands nothing.
    static CLibrary* library = new CLibrary;
    return *library;
}

// The client, opening the device (and starting the driver) on first use; null while that fails,
// and the next call tries again.
COvnVxdClient* Client() {
    CLibrary& library = Library();
    if (COvnVxdClient* client = library.ready.load(std::memory_order_acquire)) return client;
    std::lock_guard<std::mutex> hold(library.lock);
    if (library.client) return library.client.get();
    library.lastOpenError = {};
    auto opened = OpenOvnVxdDevice();
    if (!opened) {
        library.lastOpenError = opened.error();
        return nullptr;
    }
    library.transport = std::move(opened).value();
    library.client = std::make_unique<COvnVxdClient>(*library.transport);
    library.ready.store(library.client.get(), std::memory_order_release);
    return library.client.get();
}

// The register path: a mapping exists only once the client does.
COvnVxdClient* OpenClient() { return Library().ready.load(std::memory_order_acquire); }

}  // namespace

extern "C" {

OVNVXD_EXPORT int OVNVXD_CALL csReadWrite(std::uint32_t device, std::uint32_t offset, void* data,
                                          std::uint32_t size, std::uint32_t direction) {
    COvnVxdClient* client = Client();
    return client ? client->ConfigAccess(device, offset, data, size, direction) : 0;
}

OVNVXD_EXPORT int OVNVXD_CALL memRead(std::uint32_t mapping, std::uint32_t offset, void* data,
                                      std::uint32_t size) {
    COvnVxdClient* client = OpenClient();
    return client ? client->Read(mapping, offset, data, size) : 0;
}

OVNVXD_EXPORT int OVNVXD_CALL memWrite(std::uint32_t mapping, std::uint32_t offset,
                                       const void* data, std::uint32_t size) {
    COvnVxdClient* client = OpenClient();
    return client ? client->Write(mapping, offset, data, size) : 0;
}

OVNVXD_EXPORT std::uint32_t OVNVXD_CALL memMap64(std::uint32_t addressLow,
                                                 std::uint32_t addressHigh, std::uint32_t length,
                                                 std::uint32_t /*flags*/) {
    COvnVxdClient* client = Client();
    return client ? client->Map(addressLow, addressHigh, length) : 0;
}

OVNVXD_EXPORT int OVNVXD_CALL memUnmap(std::uint32_t mapping) {
    COvnVxdClient* client = OpenClient();
    return client ? client->Unmap(mapping) : 0;
}

OVNVXD_EXPORT int OVNVXD_CALL pciScanBus(PciScanCallback callback, void* context) {
    COvnVxdClient* client = Client();
    return client ? client->ScanBus(callback, context) : 0;
}

OVNVXD_EXPORT int OVNVXD_CALL lastOpenError(tagOvnVxdOpenFailure* failure) {
    if (failure == nullptr) return 0;
    CLibrary& library = Library();
    std::lock_guard<std::mutex> hold(library.lock);
    if (library.client || library.lastOpenError.call.empty()) return 0;
    std::memset(failure->call, 0, sizeof failure->call);
    const std::string& call = library.lastOpenError.call;
    for (std::size_t i = 0; i + 1 < sizeof failure->call && i < call.size(); ++i) {
        failure->call[i] = call[i];
    }
    failure->code = library.lastOpenError.code;
    return 1;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&lastOpenError), LastOpenErrorFn>);
static_assert(std::is_same_v<decltype(&csReadWrite), CsReadWriteFn>);
static_assert(std::is_same_v<decltype(&memRead), MemReadFn>);
static_assert(std::is_same_v<decltype(&memWrite), MemWriteFn>);
static_assert(std::is_same_v<decltype(&memMap64), MemMap64Fn>);
static_assert(std::is_same_v<decltype(&memUnmap), MemUnmapFn>);
static_assert(std::is_same_v<decltype(&pciScanBus), PciScanBusFn>);
