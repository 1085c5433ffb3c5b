// The I2C engine against the bytes on the bus, driven with the register values the card code
// writes.
#include "sim/i2c_engine.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/fpga_version.h"

namespace sim {
namespace {

class I2cEngineTest : public ::testing::Test {
protected:
    I2cEngineTest() : device_(FpgaVersion{1, 2, 7, 0}.Word()), engine_(device_) {}

    void Init() {
        engine_.Write(I2cEngine::kControl, 0x48);
        engine_.Write(I2cEngine::kControl, 0x4A);
        engine_.Write(I2cEngine::kControl, 0x48);
        engine_.Write(I2cEngine::kPinSelection, 0x2829);
        engine_.Write(I2cEngine::kSetup, 0xFF000000);
        engine_.Write(I2cEngine::kSpeed, 0x010E0002);
    }
    bool Go() {
        engine_.Write(I2cEngine::kControl, engine_.Read(I2cEngine::kControl) | 1);
        for (int i = 0; i < 10000; ++i) {
            if (engine_.Read(I2cEngine::kStatus) & 0x10) return true;
        }
        return false;
    }
    bool AddressPhase(std::uint8_t subAddress) {
        engine_.Write(I2cEngine::kData, 0x8000D000);
        engine_.Write(I2cEngine::kData, std::uint32_t{subAddress} << 8);
        engine_.Write(I2cEngine::kTransaction, 0x00011100);
        return Go();
    }
    bool Read(std::vector<std::uint8_t>& bytes) {
        if (!AddressPhase(4)) return false;
        engine_.Write(I2cEngine::kData, 0x8000D100);
        engine_.Write(I2cEngine::kTransaction, 0x1101);
        if (!Go()) return false;
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            engine_.Write(I2cEngine::kTransaction,
                          0x0101 | (k + 1 < bytes.size() ? 0x0200 : 0x2000));
            if (!Go()) return false;
            engine_.Write(I2cEngine::kData, 0x80000001);
            bytes[k] = static_cast<std::uint8_t>(engine_.Read(I2cEngine::kData) >> 8);
        }
        return true;
    }
    bool Write(const std::vector<std::uint8_t>& bytes) {
        if (!AddressPhase(4)) return false;
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            engine_.Write(I2cEngine::kData, (std::uint32_t{bytes[k]} << 8) | 0x80000000);
            engine_.Write(I2cEngine::kTransaction, k + 1 < bytes.size() ? 0x0100 : 0x2100);
            if (!Go()) return false;
        }
        return true;
    }

    VersionDevice device_;
    I2cEngine engine_;
};

TEST_F(I2cEngineTest, VersionReadIsTheStandardBusSequence) {
    Init();
    std::vector<std::uint8_t> bytes(4, 0xEE);
    ASSERT_TRUE(Read(bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0x07, 0x02, 0x01}));
    EXPECT_EQ(engine_.BusLogText(), "S D0+ 04+ Sr D1+ <00+ <07+ <02+ <01- P");
}

TEST_F(I2cEngineTest, WritesToTheVersionRegisterAreAcceptedAndChangeNothing) {
    Init();
    ASSERT_TRUE(Write({0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(engine_.BusLogText(), "S D0+ 04+ 11+ 22+ 33+ 44+ P");
    std::vector<std::uint8_t> bytes(4);
    engine_.ClearBusLog();
    ASSERT_TRUE(Read(bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0x07, 0x02, 0x01}));
}

TEST_F(I2cEngineTest, OtherAddressesAreNotAcknowledged) {
    Init();
    engine_.Write(I2cEngine::kData, 0x8000A000);
    engine_.Write(I2cEngine::kTransaction, 0x00003100);  // one byte with start and stop
    ASSERT_TRUE(Go());
    EXPECT_EQ(engine_.BusLogText(), "S A0- P");
}

TEST_F(I2cEngineTest, GoIsSelfClearingAndDoneIsClearedByTheNextGo) {
    Init();
    ASSERT_TRUE(AddressPhase(4));
    EXPECT_EQ(engine_.Read(I2cEngine::kControl) & 1, 0u);
    engine_.Write(I2cEngine::kControl, 0x40);  // engine disabled: a go would never finish
    engine_.Write(I2cEngine::kControl, 0x41);
    EXPECT_EQ(engine_.Read(I2cEngine::kStatus) & 0x10, 0u);
}

TEST_F(I2cEngineTest, NeverDoneFaultTimesTheTransactionOut) {
    Init();
    engine_.SetNeverDone(true);
    std::uint64_t before = engine_.StatusReads();
    std::vector<std::uint8_t> bytes(4, 0xEE);
    EXPECT_FALSE(Read(bytes));
    EXPECT_EQ(engine_.StatusReads() - before, 10000u);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(4, 0xEE));
    EXPECT_EQ(engine_.BusLogText(), "");
}

TEST_F(I2cEngineTest, ReleasedPinsReachNoDevice) {
    Init();
    engine_.Write(I2cEngine::kPinSelection, 0x7F7F);
    std::vector<std::uint8_t> bytes(1);
    ASSERT_TRUE(Read(bytes));
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(engine_.BusLogText(), "S D0- 04- Sr D1- <FF- P");
}

}  // namespace
}  // namespace sim
