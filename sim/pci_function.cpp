// Byte-wise configuration space with per-bit write masks.
#include "sim/pci_function.h"

#include <cstring>

namespace sim {

namespace {

bool Inside(std::uint32_t offset, std::uint32_t size) {
    return (size == 1 || size == 2 || size == 4) && offset < PciFunction::kSize &&
           size <= PciFunction::kSize - offset;
}

}  // namespace

void PciFunction::Preset32(std::uint32_t offset, std::uint32_t value, std::uint32_t writableMask) {
    std::lock_guard<std::mutex> hold(lock_);
    for (unsigned i = 0; i < 4; ++i) {
        bytes_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        writable_[offset + i] = static_cast<std::uint8_t>(writableMask >> (8 * i));
    }
    command_.store(bytes_[4] | (bytes_[5] << 8), std::memory_order_relaxed);
}

bool PciFunction::Read(std::uint32_t offset, void* data, std::uint32_t size) {
    if (!data || !Inside(offset, size)) return false;
    std::lock_guard<std::mutex> hold(lock_);
    std::memcpy(data, bytes_ + offset, size);
    reads_.fetch_add(1, std::memory_order_relaxed);
    accesses_.push_back({offset, size, false});
    return true;
}

bool PciFunction::Write(std::uint32_t offset, const void* data, std::uint32_t size) {
    if (!data || !Inside(offset, size)) return false;
    std::lock_guard<std::mutex> hold(lock_);
    const auto* in = static_cast<const std::uint8_t*>(data);
    for (std::uint32_t i = 0; i < size; ++i) {
        std::uint8_t mask = writable_[offset + i];
        bytes_[offset + i] =
            static_cast<std::uint8_t>((bytes_[offset + i] & ~mask) | (in[i] & mask));
    }
    command_.store(bytes_[4] | (bytes_[5] << 8), std::memory_order_relaxed);
    writes_.fetch_add(1, std::memory_order_relaxed);
    accesses_.push_back({offset, size, true});
    return true;
}

std::uint32_t PciFunction::Dword(std::uint32_t offset) const {
    std::lock_guard<std::mutex> hold(lock_);
    std::uint32_t value = 0;
    for (unsigned i = 0; i < 4 && offset + i < kSize; ++i)
        value |= std::uint32_t{bytes_[offset + i]} << (8 * i);
    return value;
}

std::vector<ConfigAccess> PciFunction::Accesses() const {
    std::lock_guard<std::mutex> hold(lock_);
    return accesses_;
}

void PciFunction::ClearAccesses() {
    std::lock_guard<std::mutex> hold(lock_);
    accesses_.clear();
    reads_ = 0;
    writes_ = 0;
}

}  // namespace sim
