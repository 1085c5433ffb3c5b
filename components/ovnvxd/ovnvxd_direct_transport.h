// The driver protocol without a driver: requests go straight to the driver core, as the kernel
// glue hands them over (one system buffer per request, one core handle per transport).
#pragma once

#include <mutex>

#include "components/ovnvxd/ovnvxd_core.h"
#include "components/ovnvxd/ovnvxd_transport.h"

// Stands for one open handle of the device. Thread-safe, like a handle shared by threads.
class COvnVxdDirectTransport : public COvnVxdTransport {
public:
    explicit COvnVxdDirectTransport(const OvnVxdHal& hal);
    ~COvnVxdDirectTransport() override;
    COvnVxdDirectTransport(const COvnVxdDirectTransport&) = delete;
    COvnVxdDirectTransport& operator=(const COvnVxdDirectTransport&) = delete;

    bool Control(std::uint32_t code, void* buffer, std::uint32_t inLength, std::uint32_t outLength,
                 std::uint32_t* answered, std::uint32_t* error) override;

    // What the handle's cleanup does: every mapping it holds is released, and later map requests
    // are refused (they reach the core, as a request in flight reaches the kernel's).
    void Close();
    std::uint32_t MappingCount();

private:
    OvnVxdHal hal_;
    std::mutex lock_;
    OvnVxdHandle handle_;
};
