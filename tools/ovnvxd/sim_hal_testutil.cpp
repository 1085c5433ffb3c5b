// Binds the driver core to the simulated machine and to RAM-backed physical regions.
#include "tools/ovnvxd/sim_hal_testutil.h"

CSimDriverHal::CSimDriverHal(sim::SimMachine& machine)
    : machine_(machine), hal_{this, ConfigRead, ConfigWrite, MapPhysical, UnmapPhysical} {}

std::uint8_t* CSimDriverHal::AddRegion(std::uint64_t base, std::uint32_t size) {
    regions_.push_back({base, size, std::make_unique<std::uint64_t[]>((size + 7) / 8)});
    return reinterpret_cast<std::uint8_t*>(regions_.back().bytes.get());
}

std::vector<std::pair<std::uint64_t, std::uint32_t>> CSimDriverHal::MapCalls() const {
    std::lock_guard<std::mutex> hold(callsLock_);
    return mapCalls_;
}

int CSimDriverHal::ConfigRead(void* context, std::uint32_t device, std::uint32_t offset, void* data,
                              std::uint32_t size) {
    return static_cast<CSimDriverHal*>(context)->machine_.ConfigAccess(device, offset, data, size,
                                                                       0);
}

int CSimDriverHal::ConfigWrite(void* context, std::uint32_t device, std::uint32_t offset,
                               const void* data, std::uint32_t size) {
    return static_cast<CSimDriverHal*>(context)->machine_.ConfigAccess(
        device, offset, const_cast<void*>(data), size, 1);
}

int CSimDriverHal::MapPhysical(void* context, std::uint64_t address, std::uint32_t length,
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
        auto* start = reinterpret_cast<std::uint8_t*>(region.bytes.get()) + (address - region.base);
        *mapping = start;
        *userAddress = reinterpret_cast<std::uintptr_t>(start);
        ++self->live_;
        return 1;
    }
    return 0;
}

void CSimDriverHal::UnmapPhysical(void* context, void*) {
    --static_cast<CSimDriverHal*>(context)->live_;
}

tagDriverTestMachine::tagDriverTestMachine()
    : machine(sim::DefaultMachineConfig(), {}), hal(machine) {
    for (int i = 0; i < 2; ++i) {
        aperture[i] = hal.AddRegion(machine.Card(i).ApertureAddress(), sim::SimCard::kApertureSize);
    }
    ram = hal.AddRegion(kRamBase, 0x100000);
    otherBar = hal.AddRegion(kOtherBarBase, 0x10000);
    machine.FindFunction(5, 0, 0)->Preset32(0x10, static_cast<std::uint32_t>(kOtherBarBase),
                                            0xFFFF0000u);
    machine.FindFunction(3, 0, 0)->Preset32(0x20, kIoBar, 0xFFFFFF00u);
    machine.FindFunction(3, 0, 0)->ClearAccesses();
}
