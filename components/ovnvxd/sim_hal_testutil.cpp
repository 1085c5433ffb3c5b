// Binds the driver core to the simulated machine, to RAM-backed physical regions and to a RAM list.
#include "components/ovnvxd/sim_hal_testutil.h"

#include <cstring>

CSimDriverHal::CSimDriverHal(sim::SimMachine& machine)
    : machine_(machine), hal_{this,       ConfigRead,  ConfigWrite,
                              ForEachRam, MapPhysical, UnmapPhysical} {}

std::uint8_t* CSimDriverHal::AddRegion(std::uint64_t base, std::uint32_t size) {
    const std::size_t pages = (std::size_t{size} + OVNVXD_PAGE_SIZE - 1) / OVNVXD_PAGE_SIZE;
    auto* bytes =
        static_cast<std::uint8_t*>(std::aligned_alloc(OVNVXD_PAGE_SIZE, pages * OVNVXD_PAGE_SIZE));
    std::memset(bytes, 0, pages * OVNVXD_PAGE_SIZE);
    regions_.push_back({base, size, std::unique_ptr<std::uint8_t, FreeBytes>(bytes)});
    return bytes;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> CSimDriverHal::MapCalls() const {
    std::lock_guard<std::mutex> hold(callsLock_);
    return mapCalls_;
}

void CSimDriverHal::HoldNextUnmap() {
    std::lock_guard<std::mutex> hold(holdLock_);
    hold_ = Hold::kArmed;
}

void CSimDriverHal::WaitUnmapEntered() {
    std::unique_lock<std::mutex> hold(holdLock_);
    holdChanged_.wait(hold, [this] { return hold_ == Hold::kEntered; });
}

void CSimDriverHal::ReleaseUnmap() {
    std::lock_guard<std::mutex> hold(holdLock_);
    hold_ = Hold::kReleased;
    holdChanged_.notify_all();
}

int CSimDriverHal::ConfigRead(void* context, std::uint32_t device, std::uint32_t offset, void* data,
                              std::uint32_t size) {
    return static_cast<CSimDriverHal*>(context)->machine_.ConfigAccess(device, offset, data, size,
                                                                       0);
}

int CSimDriverHal::ConfigWrite(void* context, std::uint32_t device, std::uint32_t offset,
                               const void* data, std::uint32_t size) {
    auto* self = static_cast<CSimDriverHal*>(context);
    ++self->configWrites_;
    return self->machine_.ConfigAccess(device, offset, const_cast<void*>(data), size, 1);
}

int CSimDriverHal::ForEachRam(void* context, OvnVxdRamVisitor visit, void* visitContext) {
    auto* self = static_cast<CSimDriverHal*>(context);
    if (self->ramListFails_) return 0;
    for (const Ram& range : self->ram_) {
        if (!visit(visitContext, range.base, range.length)) break;
    }
    return 1;
}

int CSimDriverHal::MapPhysical(void* context, std::uint64_t address, std::uint64_t length,
                               void** mapping, std::uint64_t* userAddress) {
    auto* self = static_cast<CSimDriverHal*>(context);
    {
        std::lock_guard<std::mutex> hold(self->callsLock_);
        self->mapCalls_.emplace_back(address, length);
    }
    for (auto& region : self->regions_) {
        if (address < region.base || address - region.base > region.size ||
            length > region.size - (address - region.base)) {
            continue;
        }
        auto* start = region.bytes.get() + (address - region.base);
        *mapping = start;
        *userAddress = reinterpret_cast<std::uintptr_t>(start);
        ++self->live_;
        return 1;
    }
    return 0;
}

void CSimDriverHal::UnmapPhysical(void* context, void*) {
    auto* self = static_cast<CSimDriverHal*>(context);
    {
        std::unique_lock<std::mutex> hold(self->holdLock_);
        if (self->hold_ == Hold::kArmed) {
            self->hold_ = Hold::kEntered;
            self->holdChanged_.notify_all();
            self->holdChanged_.wait(hold, [self] { return self->hold_ == Hold::kReleased; });
            self->hold_ = Hold::kNone;
        }
    }
    --self->live_;
}

tagDriverTestMachine::tagDriverTestMachine()
    : machine(sim::DefaultMachineConfig(), {}), hal(machine) {
    for (int i = 0; i < 2; ++i) {
        aperture[i] = hal.AddRegion(machine.Card(i).ApertureAddress(), sim::SimCard::kApertureSize);
    }
    ram = hal.AddRegion(kRamBase, 0x100000);
    otherBar = hal.AddRegion(kOtherBarBase, 0x10000);
    hal.AddRam(0, 0xA0000);
    hal.AddRam(kRamBase, 0x100000);
    machine.FindFunction(5, 0, 0)->Preset32(0x10, static_cast<std::uint32_t>(kOtherBarBase),
                                            0xFFFF0000u);
    machine.FindFunction(3, 0, 0)->Preset32(0x20, kIoBar, 0xFFFFFF00u);
    machine.FindFunction(3, 0, 0)->ClearAccesses();
}
