// CKSeries: creation, the FPGA version read and the GPU I2C engine operations.
#include "device/kseries.h"

#include "xsvf/jtag_port.h"

namespace {

using Control = TRegGENERIC_I2C_CONTROL;
using Speed = TRegGENERIC_I2C_SPEED;
using Setup = TRegGENERIC_I2C_SETUP;
using Pins = TRegGENERIC_I2C_PIN_SELECTION;

constexpr std::uint32_t kPinFirst = 0x29;
constexpr std::uint32_t kPinSecond = 0x28;
constexpr std::uint32_t kPinReleased = 0x7F;

// TRANSACTION values: bit 8 always set; start, stop, acknowledge and read as each step needs.
constexpr std::uint32_t kTransactionAddress = 0x1100;
constexpr std::uint32_t kTransactionWriteByte = 0x0100;
constexpr std::uint32_t kTransactionRepeatedStart = 0x1101;
constexpr std::uint32_t kTransactionReadByte = 0x0101;
constexpr std::uint32_t kTransactionAck = 0x0200;
constexpr std::uint32_t kTransactionStop = 0x2000;

// DATA values: bit 31 loads the buffer index (0), bit 0 fetches a received byte.
constexpr std::uint32_t kDataIndexLoad = 0x80000000;
constexpr std::uint32_t kDataFetch = 0x80000001;

}  // namespace

CKSeries* CreateDevice(const tagPciInfo* info, CCmdLine options, std::int32_t cardIndex) {
    CKSeries* device = new CKSeries();
    device->options = options;
    device->cardIndex = cardIndex;
    device->pciHandle = info->hDevice;
    device->regHandle = info->hRegisters;
    return device;
}

std::wstring CKSeries::GetFpgaVersion(tagDeviceUpdate* record) {
    I2cInit(*record, kBusSpeed);
    tagI2cTransfer transfer;
    transfer.address = kVersionDevice;
    transfer.subAddress = kVersionRegister;
    transfer.data.SetCount(4, -1);
    transfer.speed = kBusSpeed;
    transfer.subAddressSize = 1;
    I2cWrite(*record, transfer);
    const bool read = I2cRead(*record, transfer) != 0;
    // The display driver shares the engine: it gets it back whether or not the read worked.
    I2cRelease(*record);
    if (!read) return L"0.0.000";
    return std::to_wstring(transfer.data.items[3]) + L"." +
           std::to_wstring(transfer.data.items[2]) + L"." + std::to_wstring(transfer.data.items[1]);
}

int CKSeries::I2cGo(const tagJtagPort& port) {
    CRegGENERIC_I2C_CONTROL control;
    ReadReg(port, control);
    control.Set<Control::GO>(1);
    WriteReg(port, control);
    CRegGENERIC_I2C_STATUS status;
    for (int i = 0; i < kStatusPollLimit; ++i) {
        ReadReg(port, status);
        if (status.Get<TRegGENERIC_I2C_STATUS::DONE>() != 0) return 1;
    }
    return 0;
}

int CKSeries::I2cInit(const tagJtagPort& port, std::uint32_t /*speed*/) {
    CRegGENERIC_I2C_CONTROL control;
    ReadReg(port, control);
    control.Set<Control::ENABLE>(1);
    control.Set<Control::CONFIG>(4);
    WriteReg(port, control);

    ReadReg(port, control);
    control.Set<Control::SOFT_RESET>(1);
    WriteReg(port, control);
    control.Set<Control::SOFT_RESET>(0);
    WriteReg(port, control);

    CRegGENERIC_I2C_PIN_SELECTION pins;
    ReadReg(port, pins);
    pins.Set<Pins::FIRST_PIN>(kPinFirst);
    pins.Set<Pins::SECOND_PIN>(kPinSecond);
    WriteReg(port, pins);

    CRegGENERIC_I2C_SETUP setup;
    ReadReg(port, setup);
    setup.Set<Setup::TIME_LIMIT>(0xFF);
    WriteReg(port, setup);

    CRegGENERIC_I2C_SPEED speedReg;
    ReadReg(port, speedReg);
    speedReg.Set<Speed::THRESHOLD>(2);
    speedReg.Set<Speed::FILTER>(0);
    speedReg.Set<Speed::PRESCALE>(0x10E);
    WriteReg(port, speedReg);
    return 1;
}

int CKSeries::I2cRelease(const tagJtagPort& port) {
    CRegGENERIC_I2C_PIN_SELECTION pins;
    ReadReg(port, pins);
    pins.Set<Pins::FIRST_PIN>(kPinReleased);
    pins.Set<Pins::SECOND_PIN>(kPinReleased);
    WriteReg(port, pins);

    CRegGENERIC_I2C_CONTROL control;
    ReadReg(port, control);
    control.Set<Control::ENABLE>(0);
    WriteReg(port, control);
    return 1;
}

int CKSeries::AddressPhase(const tagJtagPort& port, const tagI2cTransfer& transfer) {
    const std::uint32_t n = transfer.subAddressSize;
    WriteReg(port, CRegGENERIC_I2C_DATA(((transfer.address & 0xFE) << 8) | kDataIndexLoad));
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t byte = (transfer.subAddress >> (8 * (n - 1 - i))) & 0xFF;
        WriteReg(port, CRegGENERIC_I2C_DATA(byte << 8));
    }
    WriteReg(port, CRegGENERIC_I2C_TRANSACTION(kTransactionAddress | ((n & 0xF) << 16)));
    return I2cGo(port);
}

int CKSeries::I2cWrite(const tagJtagPort& port, tagI2cTransfer& transfer) {
    if (!AddressPhase(port, transfer)) return 0;
    const std::int32_t count = transfer.data.count;
    for (std::int32_t k = 0; k < count; ++k) {
        WriteReg(port, CRegGENERIC_I2C_DATA((std::uint32_t{transfer.data.items[k]} << 8) |
                                            kDataIndexLoad));
        const bool last = k == count - 1;
        WriteReg(port, CRegGENERIC_I2C_TRANSACTION(kTransactionWriteByte |
                                                   (last ? kTransactionStop : 0)));
        if (!I2cGo(port)) return 0;
    }
    return 1;
}

int CKSeries::I2cRead(const tagJtagPort& port, tagI2cTransfer& transfer) {
    if (!AddressPhase(port, transfer)) return 0;
    WriteReg(port, CRegGENERIC_I2C_DATA((((transfer.address | 1) & 0xFF) << 8) | kDataIndexLoad));
    WriteReg(port, CRegGENERIC_I2C_TRANSACTION(kTransactionRepeatedStart));
    if (!I2cGo(port)) return 0;
    const std::int32_t count = transfer.data.count;
    for (std::int32_t k = 0; k < count; ++k) {
        const bool last = k == count - 1;
        WriteReg(port, CRegGENERIC_I2C_TRANSACTION(kTransactionReadByte |
                                                   (last ? kTransactionStop : kTransactionAck)));
        if (!I2cGo(port)) return 0;
        WriteReg(port, CRegGENERIC_I2C_DATA(kDataFetch));
        CRegGENERIC_I2C_DATA data;
        ReadReg(port, data);
        transfer.data.items[k] = static_cast<unsigned char>(data.Get<TRegGENERIC_I2C_DATA::DATA>());
    }
    return 1;
}
