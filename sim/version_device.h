// The bus device at I2C address 0xD0 whose register 4 holds the card's four FPGA version bytes.
#pragma once

#include <atomic>
#include <cstdint>

namespace sim {

// Register 4 reads build, patch, minor, major (the version word's bytes, least significant first);
// writes to it are accepted and change nothing. Other registers read 0xFF. The version may be set
// from a card's worker thread while another thread reads it, hence the atomic.
class VersionDevice {
public:
    static constexpr std::uint8_t kAddress = 0xD0;
    static constexpr std::uint8_t kVersionRegister = 4;

    explicit VersionDevice(std::uint32_t versionWord) : version_(versionWord) {}

    void SetVersion(std::uint32_t word) { version_.store(word, std::memory_order_relaxed); }
    std::uint32_t Version() const { return version_.load(std::memory_order_relaxed); }

    // Bus events; the results say whether the device acknowledged.
    bool Address(std::uint8_t byte);
    bool Write(std::uint8_t byte);
    std::uint8_t Read();
    void Stop() { selected_ = false; }

private:
    std::atomic<std::uint32_t> version_;
    bool selected_ = false;
    bool expectPointer_ = false;
    std::uint8_t pointer_ = 0;
    unsigned readPosition_ = 0;
};

}  // namespace sim
