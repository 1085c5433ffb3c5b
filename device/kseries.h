// The card device objects: the abstract CDevBase and the K740 series CKSeries with its I2C engine.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "device/cmdline.h"
#include "device/i2c_regs.h"
#include "base/marray.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/pci_scan.h"
#include "xsvf/device_update.h"

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

    // The engine operations reach the registers through currentUpdate; it must be set first.
    template <std::uint32_t O, typename L>
    void ReadReg(CRegs<O, L>& reg);
    template <std::uint32_t O, typename L>
    int WriteReg(const CRegs<O, L>& reg);

    int I2cGo();
    int I2cInit(std::uint32_t speed);
    int I2cRelease();
    int I2cWrite(tagI2cTransfer& transfer);
    int I2cRead(tagI2cTransfer& transfer);

    tagDeviceUpdate* currentUpdate = nullptr;  // not owned

private:
    int AddressPhase(const tagI2cTransfer& transfer);
    void SettleDelay() const;
};

// A new card object for a scan record, with a copy of the run's options.
CKSeries* CreateDevice(const tagPciInfo* info, CCmdLine options, std::int32_t cardIndex);

template <std::uint32_t O, typename L>
void CKSeries::ReadReg(CRegs<O, L>& reg) {
    reg.value = 0;
    memRead32(currentUpdate->regHandle, O, &reg.value);
}

template <std::uint32_t O, typename L>
int CKSeries::WriteReg(const CRegs<O, L>& reg) {
    static_assert(!std::is_same_v<L, TRegGENERIC_I2C_STATUS>, "STATUS is read only");
    memWrite32(currentUpdate->regHandle, O, reg.value);
    SettleDelay();
    return 1;
}
