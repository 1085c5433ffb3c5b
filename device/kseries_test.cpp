// The GPU I2C engine operations and the version read, on a fake register file.
#include "device/kseries.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/fake_registers_testutil.h"

namespace {

using Words = std::vector<std::uint32_t>;

constexpr std::uint32_t kPins = 0x60EC;
constexpr std::uint32_t kSetup = 0x60E0;
constexpr std::uint32_t kSpeed = 0x60DC;

class I2cEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        record.regHandle = CFakeRegisters::kMapping;
        record.delayCount = 0;
    }
    void TearDown() override { CFakeRegisters::Uninstall(); }

    static void Prepare(tagI2cTransfer& t, std::uint32_t subAddress, std::uint32_t subAddressSize,
                        std::int32_t bytes) {
        t.address = 0xD0;
        t.subAddress = subAddress;
        t.subAddressSize = subAddressSize;
        t.data.SetCount(bytes, -1);
    }

    CFakeRegisters& regs = CFakeRegisters::Install();
    tagDeviceUpdate record;
    CKSeries device;
};

TEST_F(I2cEngineTest, InitFromClearedRegisters) {
    EXPECT_EQ(device.I2cInit(record, 100000), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kControl), (Words{0x48, 0x4A, 0x48}));
    EXPECT_EQ(regs.Writes(kPins), (Words{0x2829}));
    EXPECT_EQ(regs.Writes(kSetup), (Words{0xFF000000}));
    EXPECT_EQ(regs.Writes(kSpeed), (Words{0x010E0002}));
}

TEST_F(I2cEngineTest, InitFromAllOnesKeepsUnownedBits) {
    for (std::uint32_t offset : {CFakeRegisters::kControl, kPins, kSetup, kSpeed}) {
        regs.registers[offset] = 0xFFFFFFFF;
    }
    device.I2cInit(record, 400000);  // the requested speed changes nothing
    EXPECT_EQ(regs.Writes(CFakeRegisters::kControl), (Words{0x4F, 0x4F, 0x4D}));
    EXPECT_EQ(regs.Writes(kPins), (Words{0xFFFFA8A9}));
    EXPECT_EQ(regs.Writes(kSetup), (Words{0xFFFFFFFF}));
    EXPECT_EQ(regs.Writes(kSpeed), (Words{0x010EFFEE}));
}

TEST_F(I2cEngineTest, ReleaseFreesPinsAndDisables) {
    device.I2cInit(record, 100000);
    regs.log.clear();
    EXPECT_EQ(device.I2cRelease(record), 1);
    EXPECT_EQ(regs.Writes(kPins), (Words{0x7F7F}));
    EXPECT_EQ(regs.Writes(CFakeRegisters::kControl), (Words{0x40}));
}

TEST_F(I2cEngineTest, AddressPhaseWithOneAndTwoSubAddressBytes) {
    tagI2cTransfer one;
    Prepare(one, 4, 1, 0);
    EXPECT_EQ(device.I2cWrite(record, one), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kData), (Words{0x8000D000, 0x00000400}));
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x00011100}));

    regs.log.clear();
    tagI2cTransfer two;
    Prepare(two, 0x1234, 2, 0);
    two.address = 0xD1;  // the read/write bit of the address is ignored
    EXPECT_EQ(device.I2cWrite(record, two), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kData), (Words{0x8000D000, 0x1200, 0x3400}));
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x00021100}));
}

TEST_F(I2cEngineTest, WriteSendsEachByteAndStopsAfterTheLast) {
    tagI2cTransfer t;
    Prepare(t, 4, 1, 3);
    t.data.items[0] = 0x11;
    t.data.items[1] = 0x22;
    t.data.items[2] = 0x33;
    EXPECT_EQ(device.I2cWrite(record, t), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kData),
              (Words{0x8000D000, 0x400, 0x80001100, 0x80002200, 0x80003300}));
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x11100, 0x0100, 0x0100, 0x2100}));
    EXPECT_EQ(regs.goCount, 4);
}

TEST_F(I2cEngineTest, ReadOfOneByteUsesStopWithoutAcknowledge) {
    tagI2cTransfer t;
    Prepare(t, 4, 1, 1);
    regs.received = {0x5C};
    EXPECT_EQ(device.I2cRead(record, t), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x11100, 0x1101, 0x2101}));
    EXPECT_EQ(regs.Writes(CFakeRegisters::kData),
              (Words{0x8000D000, 0x400, 0x8000D100, 0x80000001}));
    EXPECT_EQ(t.data.items[0], 0x5C);
}

TEST_F(I2cEngineTest, ReadAcknowledgesAllButTheLastByte) {
    tagI2cTransfer t;
    Prepare(t, 4, 1, 3);
    regs.received = {1, 2, 3};
    EXPECT_EQ(device.I2cRead(record, t), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction),
              (Words{0x11100, 0x1101, 0x0301, 0x0301, 0x2101}));
    EXPECT_EQ(Words(t.data.items, t.data.items + 3), (Words{1, 2, 3}));
}

TEST_F(I2cEngineTest, ZeroLengthTransfers) {
    tagI2cTransfer read;
    Prepare(read, 4, 1, 0);
    EXPECT_EQ(device.I2cRead(record, read), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x11100, 0x1101}));
    EXPECT_EQ(regs.goCount, 2);

    regs.log.clear();
    regs.goCount = 0;
    tagI2cTransfer write;
    Prepare(write, 4, 1, 0);
    EXPECT_EQ(device.I2cWrite(record, write), 1);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x11100}));
    EXPECT_EQ(regs.goCount, 1);
}

TEST_F(I2cEngineTest, GoGivesUpAfterExactlyTenThousandStatusReads) {
    regs.goNeverDoneFrom = 0;
    EXPECT_EQ(device.I2cGo(record), 0);
    EXPECT_EQ(regs.Reads(CFakeRegisters::kStatus), 10000u);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kControl), (Words{0x1}));

    regs.log.clear();
    regs.goNeverDoneFrom = -1;
    EXPECT_EQ(device.I2cGo(record), 1);
    EXPECT_EQ(regs.Reads(CFakeRegisters::kStatus), 1u);
}

TEST_F(I2cEngineTest, FailedAddressPhaseSendsNoDataByte) {
    regs.goNeverDoneFrom = 0;
    tagI2cTransfer write;
    Prepare(write, 4, 1, 2);
    EXPECT_EQ(device.I2cWrite(record, write), 0);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kData), (Words{0x8000D000, 0x400}));
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x11100}));

    regs.log.clear();
    tagI2cTransfer read;
    Prepare(read, 4, 1, 2);
    EXPECT_EQ(device.I2cRead(record, read), 0);
    EXPECT_EQ(regs.Writes(CFakeRegisters::kTransaction), (Words{0x11100}));
}

TEST_F(I2cEngineTest, FailedByteKeepsTheBytesNotYetReceived) {
    regs.goNeverDoneFrom = 3;  // address, repeated start, first byte finish
    regs.received = {0x42};
    tagI2cTransfer t;
    Prepare(t, 4, 1, 3);
    t.data.items[1] = 0x99;
    EXPECT_EQ(device.I2cRead(record, t), 0);
    EXPECT_EQ(t.data.items[0], 0x42);
    EXPECT_EQ(t.data.items[1], 0x99);
}

class FpgaVersionTest : public I2cEngineTest {
protected:
    std::wstring VersionOf(std::deque<std::uint8_t> bytes) {
        regs.received = std::move(bytes);
        return device.GetFpgaVersion(&record);
    }
};

TEST_F(FpgaVersionTest, ShowsMajorMinorPatchAndIgnoresTheBuildByte) {
    EXPECT_EQ(VersionOf({0x00, 0x07, 0x02, 0x01}), L"1.2.7");
    EXPECT_EQ(VersionOf({0xEE, 0x07, 0x02, 0x01}), L"1.2.7");
    EXPECT_EQ(VersionOf({0x00, 0x00, 0xFF, 0x00}), L"0.255.0");
}

TEST_F(FpgaVersionTest, WritesFourZeroBytesToRegisterFourThenReadsAndReleases) {
    VersionOf({0, 7, 2, 1});
    const Words data = regs.Writes(CFakeRegisters::kData);
    const Words expected{0x8000D000, 0x400,      0x80000000, 0x80000000, 0x80000000,
                         0x80000000, 0x8000D000, 0x400,      0x8000D100, 0x80000001,
                         0x80000001, 0x80000001, 0x80000001};
    EXPECT_EQ(data, expected);
    EXPECT_EQ(regs.Writes(kPins).back(), 0x7F7Fu);
    EXPECT_EQ(regs.registers[CFakeRegisters::kControl] & 0x8, 0u);
}

TEST_F(FpgaVersionTest, FailedReadGivesZeroVersionAndReleasesTheEngine) {
    regs.goNeverDoneFrom = 5;  // the write's five transactions finish, the read's first does not
    EXPECT_EQ(VersionOf({0, 7, 2, 1}), L"0.0.000");
    EXPECT_EQ(regs.Writes(kPins), (Words{0x2829, 0x7F7F}));
    EXPECT_EQ(regs.registers[CFakeRegisters::kControl] & 0x8, 0u);
}

TEST_F(I2cEngineTest, UpdateStoresAndReturnsThePlayersResult) {
    const std::uint8_t complete[] = {0x00};
    record.image = {complete, sizeof complete};
    record.updateResult = -1;
    EXPECT_EQ(device.Update(&record), 0);
    EXPECT_EQ(record.updateResult.load(), 0);
    EXPECT_NE(record.gpioOut & 0x20, 0u);  // TMS high, collected for the next TCK edge

    const std::uint8_t truncated[] = {0x02};  // a command cut off by the end of the image
    tagDeviceUpdate second;
    second.regHandle = CFakeRegisters::kMapping;
    second.delayCount = 0;
    second.image = {truncated, sizeof truncated};
    const int result = device.Update(&second);
    EXPECT_NE(result, 0);
    EXPECT_EQ(second.updateResult.load(), result);
    EXPECT_EQ(second.failure.code, result);  // kept for the run's log
    EXPECT_EQ(second.failure.commandIndex, 0);
}

TEST(DeviceLifetime, CreateDeviceCopiesOptionsAndHandles) {
    tagPciInfo info{};
    info.hDevice = 0x0300;
    info.hRegisters = 0x77;
    CCmdLine options;
    options.quiet = 1;
    options.calibrate = 17;
    CKSeries* device = CreateDevice(&info, options, 2);
    EXPECT_EQ(device->options.quiet, 1);
    EXPECT_EQ(device->options.calibrate, 17);
    EXPECT_EQ(device->cardIndex, 2);
    EXPECT_EQ(device->pciHandle, 0x0300u);
    EXPECT_EQ(device->regHandle, 0x77u);
    delete device;
}

TEST(DeviceLifetime, DeletingThroughTheBaseRunsEveryDestructor) {
    static int destroyed = 0;
    struct CCounted : CKSeries {
        ~CCounted() override { ++destroyed; }
    };
    CDevBase* base = new CCounted();
    delete base;
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
