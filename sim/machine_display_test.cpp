// The card's display function in the machine file: description, installed driver, disable
// behaviour.
#include <gtest/gtest.h>

#include "sim/machine_config.h"
#include "sim/pci_device_ids.h"

namespace sim {
namespace {

std::string WithDisplay(const std::string& display) {
    return R"({"cards": [{"bus": 3, "device": 0, "function": 0, "bar": "64",
                          "aperture": "0x4E0000000", "revision": 2, "display": )" +
           display + "}]}";
}

TEST(MachineDisplay, ReadsDriverAndDisableBehaviourWithDefaults) {
    MachineConfig config;
    std::string fault;
    ASSERT_TRUE(ParseMachineConfig(WithDisplay(R"({"description": "K740",
        "driver": {"infPath": "oem3.inf", "infSection": "S", "files": ["C:\\a.sys"]},
        "disable": "afterRestart"})"),
                                   config, fault))
        << fault;
    const DisplayDeviceConfig& display = config.cards.at(0).display;
    EXPECT_EQ(display.description, "K740");
    ASSERT_TRUE(display.driver);
    EXPECT_EQ(display.driver->infPath, "oem3.inf");
    EXPECT_EQ(display.driver->files, std::vector<std::string>{"C:\\a.sys"});
    EXPECT_EQ(display.disable, DisableBehaviour::AfterRestart);

    ASSERT_TRUE(ParseMachineConfig(WithDisplay("{}"), config, fault)) << fault;
    EXPECT_FALSE(config.cards.at(0).display.driver);
    EXPECT_EQ(config.cards.at(0).display.disable, DisableBehaviour::AtOnce);
    EXPECT_EQ(config.cards.at(0).display.description, "Video Controller");
}

TEST(MachineDisplay, FaultsSayWhere) {
    MachineConfig config;
    std::string fault;
    EXPECT_FALSE(ParseMachineConfig(WithDisplay(R"({"disable": "never"})"), config, fault));
    EXPECT_EQ(fault,
              "cards[0].display.disable: expected \"atOnce\", \"afterRestart\" or \"fails\"");
    EXPECT_FALSE(
        ParseMachineConfig(WithDisplay(R"({"driver": {"infPath": "x.inf"}})"), config, fault));
    EXPECT_EQ(fault, "cards[0].display.driver.infSection: missing");
    EXPECT_FALSE(ParseMachineConfig(WithDisplay(R"({"driver": {"infPath": "x.inf",
        "infSection": "S", "files": [1]}})"),
                                    config, fault));
    EXPECT_EQ(fault, "cards[0].display.driver.files[0]: expected a string");
    EXPECT_FALSE(ParseMachineConfig(WithDisplay(R"({"state": 1})"), config, fault));
    EXPECT_EQ(fault, "cards[0].display.state: unknown key");
}

TEST(PciPnpIds, CardIdsCarryItsRevisionAndPlace) {
    CardConfig card;
    card.bus = 0x81;
    card.device = 2;
    card.function = 1;
    card.revision = 0xC1;
    PnpIds ids = PciPnpIds(CardIdentity(card));
    EXPECT_EQ(ids.instanceId, "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_C1\\4&81&0&11");
    EXPECT_EQ(ids.hardwareIds.at(1), "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7");
    EXPECT_EQ(ids.compatibleIds.back(), "PCI\\CC_0300");
}

}  // namespace
}  // namespace sim
