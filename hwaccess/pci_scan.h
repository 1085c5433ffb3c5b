// Finds the K740 cards on the PCI buses, prepares them for register access and maps their
// registers.
#pragma once

#include <cstdint>

#include "base/marray.h"
#include "components/ovnvxd/ovnvxd_abi.h"

// One found card, stored by value in the scanner's list.
struct tagPciInfo {
    std::uint32_t hDevice;     // device handle from pciScanBus: first argument of config access
    std::uint32_t hRegisters;  // mapping of the 64 KiB register aperture, 0 when mapping failed
    std::uint8_t revisionId;
    std::uint16_t deviceId;
    std::uint16_t configWord2;  // upper half of the 4-byte read at offset 0x02
    std::uint16_t vendorId;
    std::uint32_t busNumber;
    std::uint32_t deviceNumber;
    std::uint32_t functionNumber;
    std::uint32_t index;      // position in the list
    std::uint32_t subsystem;  // subsystem ID high, subsystem vendor ID low
};

// The program-wide scanner. The update run's thread constructs it, scans once after the
// driver-access library is open, reads the list and destroys it at exit; nothing here is shared
// with the workers.
class CPciScan {
public:
    static constexpr std::uint32_t kCardIdentity = 0x68281002;   // device 0x6828, vendor 0x1002
    static constexpr std::uint32_t kCardSubsystem = 0x25401FA7;  // subsystem 0x2540, vendor 0x1FA7
    static constexpr std::uint32_t kApertureLength = 0x10000;

    CPciScan() = default;
    CPciScan(const CPciScan&) = delete;
    CPciScan& operator=(const CPciScan&) = delete;
    // Unmaps the registers of every card still in the list, then deletes the list.
    virtual ~CPciScan();

    // True when at least one card was found.
    bool Scan();

    // The scan callback: records the function in the list `context` when it is a K740 card.
    static int OVNVXD_CALL OnPciDevice(std::uint32_t handle, void* context);

    // Maps the card's register aperture (the BAR after BAR0); 0 on failure, and 0 without a call
    // to the library when that BAR is 0, an I/O BAR or a memory BAR of the reserved type.
    static std::uint32_t MapRegisterAperture(std::uint32_t handle);
    static void UnmapRegisterAperture(std::uint32_t mapping);

    CMArray<tagPciInfo, const tagPciInfo&>* devices = nullptr;
    std::uint32_t cardCount = 0;
};
