// Device states in the state directory, and the simulated restart that applies waiting changes.
#include "simhost/host_devices.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "simhost/host_restart.h"

namespace sim::host {
namespace {

class HostDevices : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("ovn-host-devices-" + std::to_string(::getpid()));
        std::filesystem::remove_all(directory_);
        ::setenv("OVN_SIM_STATE", directory_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("OVN_SIM_STATE");
        std::filesystem::remove_all(directory_);
    }
    std::filesystem::path directory_;
};

TEST_F(HostDevices, ChangesWaitingForARestartTakeEffectAtTheSimulatedRestart) {
    EXPECT_FALSE(GetDeviceState("A").disabled);
    SetDevicePendingDisabled("A", true);
    SetDeviceDisabled("B", true);
    EXPECT_FALSE(GetDeviceState("A").disabled);
    EXPECT_EQ(GetDeviceState("A").pendingDisabled, true);
    EXPECT_TRUE(GetDeviceState("B").disabled);

    SimulateRestart();
    EXPECT_TRUE(GetDeviceState("A").disabled);
    EXPECT_FALSE(GetDeviceState("A").pendingDisabled);
    EXPECT_TRUE(GetDeviceState("B").disabled);

    // A change made at once drops one still waiting.
    SetDevicePendingDisabled("A", false);
    SetDeviceDisabled("A", true);
    SimulateRestart();
    EXPECT_TRUE(GetDeviceState("A").disabled);
}

}  // namespace
}  // namespace sim::host
