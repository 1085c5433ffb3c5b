// Register layouts of the I2C engine against raw values from the register table.
#include "device/i2c_regs.h"

#include <gtest/gtest.h>

namespace {

TEST(I2cRegs, OffsetsAreBoundIntoTheImages) {
    EXPECT_EQ(CRegGENERIC_I2C_CONTROL::kOffset, 0x60D0u);
    EXPECT_EQ(CRegGENERIC_I2C_STATUS::kOffset, 0x60D8u);
    EXPECT_EQ(CRegGENERIC_I2C_SPEED::kOffset, 0x60DCu);
    EXPECT_EQ(CRegGENERIC_I2C_SETUP::kOffset, 0x60E0u);
    EXPECT_EQ(CRegGENERIC_I2C_TRANSACTION::kOffset, 0x60E4u);
    EXPECT_EQ(CRegGENERIC_I2C_DATA::kOffset, 0x60E8u);
    EXPECT_EQ(CRegGENERIC_I2C_PIN_SELECTION::kOffset, 0x60ECu);
    EXPECT_EQ(CRegGENERIC_I2C_CONTROL().value, 0u);
}

TEST(I2cRegs, ControlFields) {
    using L = TRegGENERIC_I2C_CONTROL;
    CRegGENERIC_I2C_CONTROL reg;
    reg.Set<L::GO>(1);
    EXPECT_EQ(reg.value, 0x1u);
    reg.value = 0;
    reg.Set<L::SOFT_RESET>(1);
    EXPECT_EQ(reg.value, 0x2u);
    reg.value = 0;
    reg.Set<L::ENABLE>(1);
    reg.Set<L::CONFIG>(4);
    EXPECT_EQ(reg.value, 0x48u);
    reg.value = 0xFFFFFFFF;
    reg.Set<L::CONFIG>(4);
    EXPECT_EQ(reg.value, 0x4Fu);
    EXPECT_EQ(reg.Get<L::RESERVED_2>(), 1u);
}

TEST(I2cRegs, StatusDoneIsBitFour) {
    EXPECT_EQ(CRegGENERIC_I2C_STATUS(0x10).Get<TRegGENERIC_I2C_STATUS::DONE>(), 1u);
    EXPECT_EQ(CRegGENERIC_I2C_STATUS(0xFFFFFFEF).Get<TRegGENERIC_I2C_STATUS::DONE>(), 0u);
}

TEST(I2cRegs, SpeedSetupAndPinFields) {
    CRegGENERIC_I2C_SPEED speed;
    speed.Set<TRegGENERIC_I2C_SPEED::THRESHOLD>(2);
    speed.Set<TRegGENERIC_I2C_SPEED::PRESCALE>(270);
    EXPECT_EQ(speed.value, 0x010E0002u);
    speed.value = 0x10;
    speed.Set<TRegGENERIC_I2C_SPEED::FILTER>(0);
    EXPECT_EQ(speed.value, 0u);

    CRegGENERIC_I2C_SETUP setup;
    setup.Set<TRegGENERIC_I2C_SETUP::TIME_LIMIT>(0xFF);
    EXPECT_EQ(setup.value, 0xFF000000u);

    CRegGENERIC_I2C_PIN_SELECTION pins;
    pins.Set<TRegGENERIC_I2C_PIN_SELECTION::FIRST_PIN>(0x29);
    pins.Set<TRegGENERIC_I2C_PIN_SELECTION::SECOND_PIN>(0x28);
    EXPECT_EQ(pins.value, 0x2829u);
    pins.Set<TRegGENERIC_I2C_PIN_SELECTION::FIRST_PIN>(0xFF);  // only seven bits
    EXPECT_EQ(pins.value, 0x287Fu);
}

TEST(I2cRegs, TransactionFieldsComposeTheValuesInUse) {
    using L = TRegGENERIC_I2C_TRANSACTION;
    CRegGENERIC_I2C_TRANSACTION address;
    address.Set<L::ACTIVE>(1);
    address.Set<L::START>(1);
    address.Set<L::COUNT>(1);
    EXPECT_EQ(address.value, 0x11100u);

    CRegGENERIC_I2C_TRANSACTION last(0x2101);
    EXPECT_EQ(last.Get<L::STOP>(), 1u);
    EXPECT_EQ(last.Get<L::ACK>(), 0u);
    EXPECT_EQ(last.Get<L::READ>(), 1u);
    EXPECT_EQ(CRegGENERIC_I2C_TRANSACTION(0x0301).Get<L::ACK>(), 1u);
    EXPECT_EQ(CRegGENERIC_I2C_TRANSACTION(0xF0000).Get<L::COUNT>(), 15u);
}

TEST(I2cRegs, DataFields) {
    using L = TRegGENERIC_I2C_DATA;
    CRegGENERIC_I2C_DATA data;
    data.Set<L::INDEX_WRITE>(1);
    data.Set<L::DATA>(0xD0);
    EXPECT_EQ(data.value, 0x8000D000u);
    CRegGENERIC_I2C_DATA fetched(0x80005A01);
    EXPECT_EQ(fetched.Get<L::DATA>(), 0x5Au);
    EXPECT_EQ(fetched.Get<L::FETCH>(), 1u);
    EXPECT_EQ(CRegGENERIC_I2C_DATA(0x000F0000).Get<L::INDEX>(), 15u);
}

TEST(I2cRegs, FieldListsMustCoverTheRegisterHighBitFirst) {
    static_assert(TFieldList<TBits<31, 1>, TBits<0, 0>>::CoversRegister());
    static_assert(!TFieldList<TBits<0, 0>, TBits<31, 1>>::CoversRegister());  // low first
    static_assert(!TFieldList<TBits<31, 2>, TBits<0, 0>>::CoversRegister());  // gap
    static_assert(!TFieldList<TBits<31, 1>>::CoversRegister());               // short
    static_assert(TBits<31, 0>::kMask == 0xFFFFFFFFu);
    SUCCEED();
}

}  // namespace
