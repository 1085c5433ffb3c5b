// Hands each request to the driver core through a system buffer of its own, as the I/O manager
// does for METHOD_BUFFERED requests.
#include "components/ovnvxd/ovnvxd_direct_transport.h"

#include <algorithm>
#include <cstring>
#include <vector>

COvnVxdDirectTransport::COvnVxdDirectTransport(const OvnVxdHal& hal) : hal_(hal) {
    OvnVxdHandleInit(&handle_,
                     static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(this) >> 4));
}

COvnVxdDirectTransport::~COvnVxdDirectTransport() { Close(); }

bool COvnVxdDirectTransport::Control(std::uint32_t code, void* buffer, std::uint32_t inLength,
                                     std::uint32_t outLength, std::uint32_t* answered,
                                     std::uint32_t* error) {
    *answered = 0;
    std::lock_guard<std::mutex> hold(lock_);
    // A buffer of its own, 8-aligned as the system's is, holding the larger of the two lengths.
    std::vector<std::uint64_t> system((std::max(inLength, outLength) + 7) / 8 + 1);
    if (inLength != 0) std::memcpy(system.data(), buffer, inLength);
    std::uint32_t length = 0;
    const OvnVxdResult result =
        OvnVxdDispatch(&handle_, &hal_, code, system.data(), inLength, outLength, &length);
    if (result != OVNVXD_OK) {
        *error = result;
        return false;
    }
    std::memcpy(buffer, system.data(), std::min(length, outLength));
    *answered = std::min(length, outLength);
    *error = 0;
    return true;
}

void COvnVxdDirectTransport::Close() {
    std::lock_guard<std::mutex> hold(lock_);
    OvnVxdHandleCleanup(&handle_, &hal_);
}

std::uint32_t COvnVxdDirectTransport::MappingCount() {
    std::lock_guard<std::mutex> hold(lock_);
    return OvnVxdHandleMappingCount(&handle_);
}
