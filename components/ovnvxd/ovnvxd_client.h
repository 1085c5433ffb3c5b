// The client side of OvnVxd.dll: the six operations over the driver protocol, with register access
// as plain volatile loads and stores through the mappings the driver made in this process.
//
// memMap64's window keeps its 64 KiB contract, but only its granted pages (ovnvxd_grant.h) are
// mapped: an access at any other offset is refused and counted, and never reaches the hardware.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "components/ovnvxd/ovnvxd_abi.h"
#include "components/ovnvxd/ovnvxd_grant.h"
#include "components/ovnvxd/ovnvxd_protocol.h"
#include "components/ovnvxd/ovnvxd_transport.h"

// One per process (the library's), or one per test. Read and Write may run on several threads at
// once, each on its own mapping; the other operations are serialised here.
class COvnVxdClient {
public:
    static constexpr std::uint32_t kMappingTag = 0x4F560000u;  // handles are tag + slot + 1
    static constexpr std::uint32_t kSlots = OVNVXD_MAX_MAPPINGS;

    explicit COvnVxdClient(COvnVxdTransport& transport) : transport_(transport) {}
    COvnVxdClient(const COvnVxdClient&) = delete;
    COvnVxdClient& operator=(const COvnVxdClient&) = delete;

    int ConfigAccess(std::uint32_t device, std::uint32_t offset, void* data, std::uint32_t size,
                     std::uint32_t direction);
    // Calls back for every function present, after the whole bus space has been walked.
    int ScanBus(PciScanCallback callback, void* context);
    std::uint32_t Map(std::uint32_t addressLow, std::uint32_t addressHigh, std::uint32_t length);
    int Unmap(std::uint32_t mapping);

    // The register path: no request, no lock; a bounds check and one volatile access.
    int Read(std::uint32_t mapping, std::uint32_t offset, void* data, std::uint32_t size) {
        volatile std::uint32_t* reg = Register(mapping, offset, size);
        if (reg == nullptr || data == nullptr) return Refuse();
        const std::uint32_t value = *reg;
        std::memcpy(data, &value, sizeof value);
        return 1;
    }
    int Write(std::uint32_t mapping, std::uint32_t offset, const void* data, std::uint32_t size) {
        volatile std::uint32_t* reg = Register(mapping, offset, size);
        if (reg == nullptr || data == nullptr) return Refuse();
        std::uint32_t value;
        std::memcpy(&value, data, sizeof value);
        *reg = value;
        return 1;
    }

    // Error of the last failed request (system code or OvnVxdResult, by transport); 0 if none.
    std::uint32_t LastError() const { return lastError_.load(std::memory_order_relaxed); }
    // Register accesses refused so far: outside the granted pages, unmapped, misaligned.
    std::uint64_t RefusedAccesses() const { return refused_.load(std::memory_order_relaxed); }

private:
    static constexpr std::uint32_t kPage = OVNVXD_GRANT_PAGE_SIZE;
    static constexpr std::uint32_t kPages = OVNVXD_WINDOW_PAGES;
    static_assert((kSlots & (kSlots - 1)) == 0, "the register path masks the slot index");

    // One window's page table. A page's address is published (release) only once it is mapped,
    // and withdrawn before it is unmapped; only granted pages that lie whole inside the window ever
    // get one, so the register path needs nothing else. 128 bytes: one shift indexes it.
    struct Slot {
        std::atomic<volatile std::uint32_t*> pages[kPages] = {};
    };
    // The driver's mappings behind a window, and whether it is taken; they belong to lock_.
    struct SlotRecord {
        std::uint32_t driverIds[kPages] = {};
        bool used = false;
    };

    volatile std::uint32_t* Register(std::uint32_t mapping, std::uint32_t offset,
                                     std::uint32_t size) {
        const std::uint32_t index = mapping - kMappingTag - 1;
        // An unknown handle, another size, past the window's 64 KiB or not dword-aligned: one
        // test (kSlots is a power of two).
        constexpr std::uint32_t kOutside = ~(OVNVXD_APERTURE_LENGTH - 4);
        if (((index & ~(kSlots - 1)) | (size ^ 4) | (offset & kOutside)) != 0) return nullptr;
        volatile std::uint32_t* base =
            slots_[index].pages[offset / kPage].load(std::memory_order_acquire);
        return base == nullptr ? nullptr : base + (offset % kPage) / 4;
    }
    [[gnu::cold, gnu::noinline]] int Refuse() {
        refused_.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    void Fail(std::uint32_t error) { lastError_.store(error, std::memory_order_relaxed); }
    // Gives back the pages of a window being built or withdrawn; true when every unmap worked.
    bool ReleasePages(std::uint32_t index);
    bool Request(std::uint32_t code, void* buffer, std::uint32_t inLength, std::uint32_t outLength);

    COvnVxdTransport& transport_;
    std::mutex lock_;  // requests and slot allocation
    Slot slots_[kSlots];
    SlotRecord records_[kSlots];
    std::atomic<std::uint32_t> lastError_{0};
    std::atomic<std::uint64_t> refused_{0};
};
