// Matching of the command line's hardware ID against device IDs.
#include "components/dec740/hardware_id_match.h"

#include <gtest/gtest.h>

namespace dec740 {
namespace {

constexpr char kK740[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7";

TEST(IdMatches, ExactIgnoringCaseButNotLonger) {
    EXPECT_TRUE(IdMatches(kK740, kK740));
    EXPECT_TRUE(IdMatches("pci\\ven_1002&dev_6828&subsys_25401fa7", kK740));
    EXPECT_FALSE(IdMatches(kK740, "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00"));
    EXPECT_FALSE(IdMatches(kK740, "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA"));
    EXPECT_FALSE(IdMatches(kK740, "PCI\\VEN_1002&DEV_6828&SUBSYS_0B0E1002"));
    EXPECT_FALSE(IdMatches("", kK740));
}

TEST(IdMatches, TrailingStarMatchesAnyRestOnly) {
    EXPECT_TRUE(IdMatches("PCI\\VEN_1002&DEV_6828*", kK740));
    EXPECT_TRUE(IdMatches("pci\\ven_1002*", kK740));
    EXPECT_TRUE(IdMatches("PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7*", kK740));  // empty rest
    EXPECT_TRUE(IdMatches("*", kK740));
    EXPECT_FALSE(IdMatches("PCI\\VEN_10DE*", kK740));
    EXPECT_FALSE(IdMatches("*DEV_6828*", kK740));  // a leading star is a character
    EXPECT_FALSE(IdMatches("PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00*", kK740));
}

TEST(DeviceMatches, HardwareAndCompatibleIds) {
    Device device;
    device.hardwareIds = {"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00", kK740};
    device.compatibleIds = {"PCI\\VEN_1002&DEV_6828", "PCI\\CC_0300"};
    EXPECT_TRUE(DeviceMatches(kK740, device));
    EXPECT_TRUE(DeviceMatches("pci\\cc_0300", device));
    EXPECT_TRUE(DeviceMatches("PCI\\VEN_1002&DEV_6828", device));
    EXPECT_FALSE(DeviceMatches("PCI\\CC_0403", device));
    EXPECT_FALSE(DeviceMatches(kK740, Device{}));
}

}  // namespace
}  // namespace dec740
