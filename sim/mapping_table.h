// Process-wide table of register mappings: handle -> card by direct index, lock-free to read.
#pragma once

#include <atomic>
#include <cstdint>

namespace sim {

class SimCard;

struct MappingSlot {
    std::atomic<SimCard*> card{nullptr};
    std::uint32_t base = 0;    // offset of the mapping inside the card's aperture
    std::uint32_t length = 0;  // bytes mapped
};

constexpr std::uint32_t kMappingTag = 0x4D500000u;  // handles are kMappingTag + slot + 1
constexpr std::uint32_t kMaxMappings = 4096;

extern MappingSlot mappingSlots[kMaxMappings];

// The card and register offset for a 4-byte access through a mapping, or null when the handle is
// not a live mapping or the access does not lie inside it (unaligned, wrong size, out of range).
inline SimCard* ResolveMapping(std::uint32_t handle, std::uint32_t offset, std::uint32_t size,
                               std::uint32_t& registerOffset) {
    std::uint32_t index = handle - kMappingTag - 1;
    if (index >= kMaxMappings) return nullptr;
    MappingSlot& slot = mappingSlots[index];
    SimCard* card = slot.card.load(std::memory_order_acquire);
    if (!card || size != 4 || (offset & 3) || offset >= slot.length || slot.length - offset < 4) {
        return nullptr;
    }
    registerOffset = slot.base + offset;
    return card;
}

}  // namespace sim
