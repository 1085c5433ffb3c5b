// End to end on the simulated K740 card: open, calibrate, play the demo image, validate it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "hwaccess/driver_access.h"
#include "sim/sim_machine.h"
#include "testing/xsvf_writer/make_demo_xsvf.h"
#include "xsvf/calibration.h"
#include "xsvf/jtag_port.h"
#include "xsvf/jtag_port_open.h"
#include "xsvf/xsvf_player.h"
#include "xsvf/xsvf_validate.h"

namespace {

class SimCardTest : public ::testing::Test {
protected:
    void Install(const sim::MachineConfig& config) {
        driver_access::ResetForTesting();
        sim::InstallMachine(config);
        ASSERT_TRUE(OpenDriverAccess());
        card = &sim::CurrentMachine().Card(0);
        const auto& c = card->Config();
        port.pciHandle = (std::uint32_t{c.bus} << 8) | (std::uint32_t{c.device} << 3) | c.function;
        port.regHandle = memMap64(card->ApertureAddress(), 0x10000);
        ASSERT_NE(port.regHandle, 0u);
    }
    void SetUp() override { Install(sim::DefaultMachineConfig()); }
    void TearDown() override {
        driver_access::ResetForTesting();
        sim::ForgetMachine();
    }

    void Open() {
        ::testing::internal::CaptureStdout();
        openJtagPort(&port);
        ::testing::internal::GetCapturedStdout();
    }

    // As the card's update does: TMS high in the cached word, then the play.
    std::int32_t Play(const XsvfBytes& image) {
        buffer = std::make_unique<std::uint8_t[]>(image.size());
        std::copy(image.begin(), image.end(), buffer.get());
        port.delayCount = 0;
        port.image = {buffer.get(), static_cast<std::uint32_t>(image.size())};
        port.offset = 0;
        port.gpioOut |= GPIO_TMS_MASK;
        return playXsvf(&port);
    }

    sim::SimCard* card = nullptr;
    tagDeviceUpdate port;
    std::unique_ptr<std::uint8_t[]> buffer;
};

TEST_F(SimCardTest, DemoImageConfiguresTheFpga) {
    Open();
    ASSERT_EQ(card->Version().major, 1);
    ASSERT_EQ(card->Version().minor, 2);
    EXPECT_EQ(Play(MakeK740DemoXsvf()), 0) << "failed command " << port.failure.commandIndex;
    EXPECT_EQ(port.percentDone.load(), 100u);
    EXPECT_EQ(card->Version().major, 1);
    EXPECT_EQ(card->Version().minor, 4);
    EXPECT_EQ(card->Version().patch, 2);
    closeJtagPort(&port, 1);
}

TEST_F(SimCardTest, CommittedSampleConfiguresTheFpga) {
    std::ifstream in(std::string(OVN_SAMPLES_DIR) + "/k740_demo.xsvf", std::ios::binary);
    XsvfBytes sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(sample.empty());
    Open();
    EXPECT_EQ(Play(sample), 0);
    EXPECT_EQ(card->Version().minor, 4);
}

TEST_F(SimCardTest, CorruptedBitstreamFailsTheStatusCheck) {
    XsvfBytes image = MakeK740DemoXsvf();
    image[image.size() / 2] ^= 0x10;  // a data word of the bitstream: the CRC no longer matches
    EXPECT_EQ(validateXsvf(image.data(), static_cast<std::uint32_t>(image.size())).code, 0);
    Open();
    std::int32_t result = Play(image);
    EXPECT_TRUE(result == 2 || result == 3) << result;
    EXPECT_EQ(port.failure.command, XSDRTDO);
    EXPECT_EQ(port.failure.expected.size(), 4u);
    EXPECT_EQ(card->Version().minor, 2);  // still the old configuration
}

TEST_F(SimCardTest, WrongIdcodeStopsBeforeProgramming) {
    sim::MachineConfig config = sim::DefaultMachineConfig();
    config.cards[0].idcode = 0x0B740093;
    Install(config);
    Open();
    EXPECT_EQ(Play(MakeK740DemoXsvf()), 2);
    EXPECT_LT(port.failure.byteOffset, 200u);
    EXPECT_EQ(card->Version().minor, 2);
}

TEST_F(SimCardTest, TruncatedImageFailsCleanlyWhereValidationSays) {
    XsvfBytes image = MakeK740DemoXsvf();
    image.resize(image.size() / 2);
    tagXsvfValidation v = validateXsvf(image.data(), static_cast<std::uint32_t>(image.size()));
    EXPECT_EQ(v.code, 4);
    Open();
    EXPECT_EQ(Play(image), 4);
    EXPECT_EQ(port.failure.commandIndex, v.commandIndex);
    EXPECT_EQ(port.failure.byteOffset, v.byteOffset);
    EXPECT_LE(port.offset, image.size());
}

TEST_F(SimCardTest, CalibrationMeasuresTheCardsWriteCost) {
    // dt = writeCost + 1 counts per pass; rate = 3000 MHz × 10 / dt.
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0, 64}, {475, 63}, {999, 30}};
    for (auto [writeCost, delay] : cases) {
        sim::MachineConfig config = sim::DefaultMachineConfig();
        config.cards[0].writeCost = writeCost;
        Install(config);
        Open();
        EXPECT_EQ(port.delayCount, delay) << "writeCost " << writeCost;
    }
}

}  // namespace
