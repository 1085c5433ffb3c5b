// One PCI function's configuration space: 256 bytes, some bits writable, every access counted.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace sim {

struct ConfigAccess {
    std::uint32_t offset;
    std::uint32_t size;
    bool write;
};

// Shared by the machine and its card. Configuration accesses may come from any thread (they are
// serialised here); the card reads the memory-space enable bit on its hot path without locking.
class PciFunction {
public:
    static constexpr std::uint32_t kSize = 256;
    static constexpr std::uint32_t kMemorySpaceEnable = 0x2;

    // address: bus << 8 | device << 3 | function
    explicit PciFunction(std::uint16_t address) : address_(address) {}

    std::uint16_t Address() const { return address_; }
    unsigned Bus() const { return address_ >> 8; }
    unsigned DeviceNumber() const { return (address_ >> 3) & 0x1F; }
    unsigned FunctionNumber() const { return address_ & 7; }

    // Sets a dword before use, and which of its bits software may change.
    void Preset32(std::uint32_t offset, std::uint32_t value, std::uint32_t writableMask = 0);

    // size 1, 2 or 4 at any offset inside the 256 bytes; false (nothing done) otherwise.
    bool Read(std::uint32_t offset, void* data, std::uint32_t size);
    bool Write(std::uint32_t offset, const void* data, std::uint32_t size);

    std::uint32_t Dword(std::uint32_t offset) const;
    bool MemoryEnabled() const {
        return command_.load(std::memory_order_relaxed) & kMemorySpaceEnable;
    }

    std::uint64_t Reads() const { return reads_.load(std::memory_order_relaxed); }
    std::uint64_t Writes() const { return writes_.load(std::memory_order_relaxed); }
    std::vector<ConfigAccess> Accesses() const;
    void ClearAccesses();

private:
    std::uint16_t address_;
    mutable std::mutex lock_;
    std::uint8_t bytes_[kSize] = {};
    std::uint8_t writable_[kSize] = {};
    std::atomic<std::uint32_t> command_{0};
    std::atomic<std::uint64_t> reads_{0}, writes_{0};
    std::vector<ConfigAccess> accesses_;
};

}  // namespace sim
