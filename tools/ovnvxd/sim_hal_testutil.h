// The driver core's hardware for the host tests: the simulated machine's configuration space and
// RAM standing for physical address space.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/sim_machine.h"
#include "tools/ovnvxd/ovnvxd_core.h"

// Owns the RAM behind each region; not thread-safe for AddRegion, the HAL calls are serialised by
// the transports (each transport has its own lock, so counters are atomic).
class CSimDriverHal {
public:
    explicit CSimDriverHal(sim::SimMachine& machine);

    // Physical range [base, base + size) becomes RAM that mappings reach; returns its bytes.
    std::uint8_t* AddRegion(std::uint64_t base, std::uint32_t size);
    const OvnVxdHal& Hal() const { return hal_; }

    int LiveMappings() const { return live_.load(); }
    // Every range the core asked to map, in order.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> MapCalls() const;

private:
    struct Region {
        std::uint64_t base;
        std::uint32_t size;
        std::unique_ptr<std::uint64_t[]> bytes;
    };
    static int ConfigRead(void* context, std::uint32_t device, std::uint32_t offset, void* data,
                          std::uint32_t size);
    static int ConfigWrite(void* context, std::uint32_t device, std::uint32_t offset,
                           const void* data, std::uint32_t size);
    static int MapPhysical(void* context, std::uint64_t address, std::uint32_t length,
                           void** mapping, std::uint64_t* userAddress);
    static void UnmapPhysical(void* context, void* mapping);

    sim::SimMachine& machine_;
    OvnVxdHal hal_;
    std::vector<Region> regions_;
    std::atomic<int> live_{0};
    mutable std::mutex callsLock_;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> mapCalls_;
};

// The default simulated machine (cards at 03:00.0, 64-bit BARs, aperture above 4 GiB, and 04:00.0,
// 32-bit BARs), with RAM behind both apertures, behind a BAR of the other maker's 0x6828 at
// 05:00.0 and behind 1 MiB of ordinary memory; card 0 also has an I/O BAR at 0x20.
struct tagDriverTestMachine {
    static constexpr std::uint64_t kRamBase = 0x00100000;
    static constexpr std::uint64_t kOtherBarBase = 0xE8000000;
    static constexpr std::uint32_t kIoBar = 0x0000E001;
    static constexpr std::uint32_t kCard0 = 0x0300, kCard1 = 0x0400, kAudio = 0x0301,
                                   kOtherMaker = 0x0500, kBridge = 0x0008;

    tagDriverTestMachine();
    std::uint64_t Aperture(int card) { return machine.Card(card).ApertureAddress(); }

    sim::SimMachine machine;
    CSimDriverHal hal;
    std::uint8_t* aperture[2];
    std::uint8_t* ram;
    std::uint8_t* otherBar;
};
