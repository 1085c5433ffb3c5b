// Process-wide table of register mappings: handle -> card by direct index, lock-free to read.
#pragma once

#include <atomic>
#include <cstdint>

#include "components/ovnvxd/ovnvxd_grant.h"

namespace sim {

class SimCard;

// A window at the start of a card's register aperture, as the real library maps it.
struct MappingSlot {
    std::atomic<SimCard*> card{nullptr};
    std::uint32_t length = 0;  // bytes of the window
};

constexpr std::uint32_t kMappingTag = 0x4D500000u;  // handles are kMappingTag + slot + 1
constexpr std::uint32_t kMaxMappings = 4096;

// Every mapping the process holds. The exports resolve a handle with nothing but the handle, and a
// handle outlives the machine that made it (a stale one must stay refused), so there is one table
// for the process rather than one per machine.
struct MappingTable {
    MappingSlot mappingSlots[kMaxMappings];
    // Register accesses refused since the process started (what the real library counts too).
    std::atomic<std::uint64_t> refusedAccesses{0};
};

// The process's mapping table.
MappingTable& ProcessMappings();

// The card and register offset for a 4-byte access through a mapping, or null (counted) when the
// handle is not a live mapping or the access does not lie inside one of the window's granted
// pages (unaligned, wrong size, out of range, another register of the aperture).
inline SimCard* ResolveMapping(std::uint32_t handle, std::uint32_t offset, std::uint32_t size,
                               std::uint32_t& registerOffset) {
    MappingTable& table = ProcessMappings();
    std::uint32_t index = handle - kMappingTag - 1;
    SimCard* card = nullptr;
    if (index < kMaxMappings) {
        MappingSlot& slot = table.mappingSlots[index];
        card = slot.card.load(std::memory_order_acquire);
        // A granted page lies whole inside the window or was not mapped.
        const std::uint32_t pageEnd =
            (offset & ~(OVNVXD_GRANT_PAGE_SIZE - 1)) + OVNVXD_GRANT_PAGE_SIZE;
        if (card &&
            (size != 4 || (offset & 3) || !OvnVxdGrantedOffset(offset) || pageEnd > slot.length)) {
            card = nullptr;
        }
    }
    if (!card) {
        table.refusedAccesses.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    registerOffset = offset;
    return card;
}

}  // namespace sim
