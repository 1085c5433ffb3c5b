// Register pointer and read sequencing of the version device.
#include "sim/version_device.h"

namespace sim {

bool VersionDevice::Address(std::uint8_t byte) {
    selected_ = (byte & 0xFE) == kAddress;
    if (!selected_) return false;
    expectPointer_ = (byte & 1) == 0;
    readPosition_ = 0;
    return true;
}

bool VersionDevice::Write(std::uint8_t byte) {
    if (!selected_) return false;
    if (expectPointer_) {
        pointer_ = byte;
        expectPointer_ = false;
    }
    return true;
}

std::uint8_t VersionDevice::Read() {
    if (!selected_ || pointer_ != kVersionRegister || readPosition_ >= 4) return 0xFF;
    return static_cast<std::uint8_t>(Version() >> (8 * readPosition_++));
}

}  // namespace sim
