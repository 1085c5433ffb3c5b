// The PCI scan: matching K740 cards, enabling their memory decoding and mapping their registers.
#include "hwaccess/pci_scan.h"

#include <cstring>

#include "hwaccess/driver_access.h"

namespace {

using CardList = CMArray<tagPciInfo, const tagPciInfo&>;

std::uint32_t ReadConfig(std::uint32_t handle, std::uint32_t offset) {
    std::uint32_t value = 0;
    csRead32(handle, offset, &value);
    return value;
}

// Bit 0 set marks an I/O BAR; type 3 (bits 2-1) is reserved for memory BARs.
bool IsUsableMemoryBar(std::uint32_t bar) { return (bar & 1) == 0 && (bar & 6) != 6; }

}  // namespace

CPciScan::~CPciScan() {
    if (devices == nullptr) return;
    for (std::int32_t i = 0; i < devices->count; ++i) {
        UnmapRegisterAperture(devices->items[i].hRegisters);
    }
    delete devices;
    devices = nullptr;
}

bool CPciScan::Scan() {
    devices = new CardList();
    pciScanBus(&CPciScan::OnPciDevice, devices);
    cardCount = static_cast<std::uint32_t>(devices->count);
    return cardCount > 0;
}

int OVNVXD_CALL CPciScan::OnPciDevice(std::uint32_t handle, void* context) {
    if (context == nullptr) return 0;
    CardList& list = *static_cast<CardList*>(context);
    tagPciInfo record;
    std::memset(&record, 0, sizeof(record));

    // These three reads are all that a function other than a K740 card ever sees.
    const std::uint32_t identity = ReadConfig(handle, 0x00);
    const std::uint32_t word2 = ReadConfig(handle, 0x02);
    const std::uint32_t subsystem = ReadConfig(handle, 0x2C);
    if (identity != kCardIdentity || subsystem != kCardSubsystem) return 0;

    const std::uint32_t revision = ReadConfig(handle, 0x08);
    csWrite32(handle, 0x04, ReadConfig(handle, 0x04) | 0x2);  // memory space enable
    csWrite32(handle, 0xE0, ReadConfig(handle, 0xE0) & ~std::uint32_t{0x3});

    record.hRegisters = MapRegisterAperture(handle);
    record.hDevice = handle;
    record.revisionId = static_cast<std::uint8_t>(revision & 0xFF);
    record.deviceId = static_cast<std::uint16_t>(identity >> 16);
    record.configWord2 = static_cast<std::uint16_t>(word2 >> 16);
    record.vendorId = static_cast<std::uint16_t>(identity & 0xFFFF);
    record.busNumber = (handle >> 8) & 0xFF;
    record.deviceNumber = (handle >> 3) & 0x1F;
    record.functionNumber = handle & 7;
    record.index = static_cast<std::uint32_t>(list.count);
    record.subsystem = subsystem;
    list.StoreAt(list.count, record);
    return 0;
}

std::uint32_t CPciScan::MapRegisterAperture(std::uint32_t handle) {
    const std::uint32_t bar0 = ReadConfig(handle, 0x10);
    std::uint32_t lower = 0;
    std::uint32_t upper = 0;
    if ((bar0 & 6) == 4) {
        // A 64-bit BAR0 takes 0x10 and 0x14; the register aperture is the BAR after it.
        lower = ReadConfig(handle, 0x18);
        upper = ReadConfig(handle, 0x1C);
    } else {
        lower = ReadConfig(handle, 0x14);
    }
    // An I/O BAR, a memory BAR of the reserved type or an unassigned BAR names no register
    // window; mapping it would hand the card's writes to whatever lives at that address.
    if (!IsUsableMemoryBar(lower)) return 0;
    const std::uint64_t address = (std::uint64_t{upper} << 32) | (lower & 0xFFFFFF00u);
    if (address == 0) return 0;
    return memMap64(address, kApertureLength);
}

void CPciScan::UnmapRegisterAperture(std::uint32_t mapping) {
    if (mapping != 0) memUnmap(mapping);
}
