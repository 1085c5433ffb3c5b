// The seam between the library's client and the driver: one METHOD_BUFFERED request at a time.
#pragma once

#include <cstdint>

// Implemented over DeviceIoControl on Windows and over the driver core directly in the host tests.
// Callable from any thread; the implementation serialises what needs serialising.
class COvnVxdTransport {
public:
    virtual ~COvnVxdTransport() = default;
    // Sends the request in buffer[0..inLength) and receives the answer into buffer[0..outLength).
    // True with *answered bytes of answer, or false with *error: the system error code on Windows,
    // the core's OvnVxdResult in the direct transport.
    virtual bool Control(std::uint32_t code, void* buffer, std::uint32_t inLength,
                         std::uint32_t outLength, std::uint32_t* answered,
                         std::uint32_t* error) = 0;
};
