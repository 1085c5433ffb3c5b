// The driver core's hardware for the host tests: the simulated machine's configuration space, RAM
// standing for physical address space, and the RAM list the system would report.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "components/ovnvxd/ovnvxd_core.h"
#include "sim/sim_machine.h"

// Owns the RAM behind each region; AddRegion, AddRam and the switches are set up before use. The
// HAL calls are serialised per transport (each transport has its own lock), so counters are atomic.
class CSimDriverHal {
public:
    explicit CSimDriverHal(sim::SimMachine& machine);

    // Physical range [base, base + size) becomes memory that mappings reach; returns its bytes.
    std::uint8_t* AddRegion(std::uint64_t base, std::uint32_t size);
    // [base, base + length) is reported as physical RAM.
    void AddRam(std::uint64_t base, std::uint64_t length) { ram_.push_back({base, length}); }
    // The system's RAM list cannot be had.
    void FailRamList() { ramListFails_ = true; }
    const OvnVxdHal& Hal() const { return hal_; }

    int LiveMappings() const { return live_.load(); }
    // Configuration writes the core made, of any size, to any function.
    std::uint64_t ConfigWrites() const { return configWrites_.load(); }
    // Every range the core asked to map, in order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> MapCalls() const;

    // The next unmap blocks, inside the core, until ReleaseUnmap; WaitUnmapEntered returns once it
    // is blocked there.
    void HoldNextUnmap();
    void WaitUnmapEntered();
    void ReleaseUnmap();

private:
    struct FreeBytes {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };
    struct Region {
        std::uint64_t base;
        std::uint32_t size;
        std::unique_ptr<std::uint8_t, FreeBytes> bytes;  // page-aligned, as a mapping is
    };
    struct Ram {
        std::uint64_t base, length;
    };
    static int ConfigRead(void* context, std::uint32_t device, std::uint32_t offset, void* data,
                          std::uint32_t size);
    static int ConfigWrite(void* context, std::uint32_t device, std::uint32_t offset,
                           const void* data, std::uint32_t size);
    static int ForEachRam(void* context, OvnVxdRamVisitor visit, void* visitContext);
    static int MapPhysical(void* context, std::uint64_t address, std::uint64_t length,
                           void** mapping, std::uint64_t* userAddress);
    static void UnmapPhysical(void* context, void* mapping);

    sim::SimMachine& machine_;
    OvnVxdHal hal_;
    std::vector<Region> regions_;
    std::vector<Ram> ram_;
    bool ramListFails_ = false;
    std::atomic<int> live_{0};
    std::atomic<std::uint64_t> configWrites_{0};
    mutable std::mutex callsLock_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mapCalls_;
    std::mutex holdLock_;
    std::condition_variable holdChanged_;
    enum class Hold { kNone, kArmed, kEntered, kReleased } hold_ = Hold::kNone;
};

// The default simulated machine (cards at 03:00.0, 64-bit BARs, aperture above 4 GiB, and 04:00.0,
// 32-bit BARs), with memory behind both apertures, behind a BAR of the other maker's 0x6828 at
// 05:00.0 and behind 1 MiB of RAM that the system reports as RAM (as it does the first 640 KiB);
// card 0 also has an I/O BAR at 0x20.
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
