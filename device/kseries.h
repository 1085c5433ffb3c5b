// The card device objects: the abstract CDevBase and the K740 series CKSeries with its I2C engine.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "base/marray.h"
#include "device/cmdline.h"
#include "device/i2c_regs.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/pci_scan.h"
#include "xsvf/device_update.h"
#include "xsvf/jtag_port.h"

// One transfer to or from a register of a bus device, filled by the caller; frees its bytes when it
// goes out of scope.
struct tagI2cTransfer {
    std::uint32_t address = 0;     // 8-bit bus address, read/write bit clear
    std::uint32_t subAddress = 0;  // register number, sent most significant byte first
    std::uint32_t subAddressSize = 0;
    CMArray<unsigned char> data;  // count = bytes to send or to receive
    std::uint32_t speed = 0;      // requested bus speed in hertz (not consulted by the engine)
};

// A card device object. Owned by the update run; created and asked for its version on the run's
// thread, then updated on one worker thread of its own.
class CDevBase {
public:
    CDevBase() = default;
    CDevBase(const CDevBase&) = delete;
    CDevBase& operator=(const CDevBase&) = delete;
    virtual ~CDevBase() = default;

    // Programs the card from the record's image; returns the player's result code.
    virtual int Update(tagDeviceUpdate* record) = 0;

    CCmdLine options;
    std::int32_t cardIndex = 0;
    std::uint32_t pciHandle = 0;
    std::uint32_t regHandle = 0;
};

class CKSeries : public CDevBase {
public:
    static constexpr std::uint32_t kVersionDevice = 0xD0;
    static constexpr std::uint32_t kVersionRegister = 4;
    static constexpr std::uint32_t kBusSpeed = 100000;
    static constexpr int kStatusPollLimit = 10000;

    ~CKSeries() override = default;

    int Update(tagDeviceUpdate* record) override;

    // The FPGA version as major.minor.patch, or "0.0.000" when the I2C read fails.
    virtual std::wstring GetFpgaVersion(tagDeviceUpdate* record);

    // The engine operations reach the registers through the card's port, paced as its writes.
    int I2cGo(const tagJtagPort& port);
    int I2cInit(const tagJtagPort& port, std::uint32_t speed);
    int I2cRelease(const tagJtagPort& port);
    int I2cWrite(const tagJtagPort& port, tagI2cTransfer& transfer);
    int I2cRead(const tagJtagPort& port, tagI2cTransfer& transfer);

private:
    int AddressPhase(const tagJtagPort& port, const tagI2cTransfer& transfer);
};

// A new card object for a scan record, with a copy of the run's options.
CKSeries* CreateDevice(const tagPciInfo* info, CCmdLine options, std::int32_t cardIndex);

// Typed register access through a card's port: the image is read whole (0 when the read fails);
// a write is followed by the port's pacing wait.
template <std::uint32_t O, typename L>
void ReadReg(const tagJtagPort& port, CRegs<O, L>& reg) {
    reg.value = 0;
    memRead32(port.regHandle, O, &reg.value);
}

template <std::uint32_t O, typename L>
int WriteReg(const tagJtagPort& port, const CRegs<O, L>& reg) {
    static_assert(!std::is_same_v<L, TRegGENERIC_I2C_STATUS>, "STATUS is read only");
    memWrite32(port.regHandle, O, reg.value);
    busyWaitIterations(port.delayCount);  // the same rounds as the JTAG port's pacing
    return 1;
}
