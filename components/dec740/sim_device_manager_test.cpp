// dec740 on the simulated machine: its devices, and the commands with states kept in the state
// directory, in process and as the host build's program.
#include "components/dec740/sim_device_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "components/dec740/dec740_commands.h"
#include "components/dec740/fake_device_manager_testutil.h"
#include "simhost/host_devices.h"
#include "simhost/host_restart.h"

namespace dec740 {
namespace {

namespace fs = std::filesystem;

constexpr char kK740[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7";
constexpr char kCardA[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00\\4&03&0&00";
constexpr char kCardB[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00\\4&04&0&00";

// Card A has a driver that only a restart takes away; card B has none; 05:00.0 is another maker's
// board with the same graphics processor.
constexpr char kMachine[] = R"({
  "cards": [
    {"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000",
     "display": {"description": "Orvane K740 Display",
                 "driver": {"infPath": "oem12.inf", "infSection": "ati2mtag_R6xx",
                            "files": ["C:\\Windows\\system32\\DRIVERS\\atikmdag.sys",
                                      "C:\\Windows\\system32\\atiumdag.dll"]},
                 "disable": "afterRestart"}},
    {"bus": 4, "device": 0, "function": 0, "bar": "32", "aperture": "0xF7E00000"}
  ],
  "functions": [
    {"bus": 5, "device": 0, "function": 0, "vendor": "0x1002", "deviceId": "0x6828",
     "subsystem": "0x0B0E1002", "class": "0x030000"}
  ]
})";

sim::MachineConfig Machine(const std::string& text) {
    sim::MachineConfig config;
    std::string fault;
    EXPECT_TRUE(sim::ParseMachineConfig(text, config, fault)) << fault;
    return config;
}

class SimDec740 : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        directory_ = fs::temp_directory_path() /
                     ("ovn-dec740-" + std::to_string(getpid()) + "-" + test->name());
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        ::setenv("OVN_SIM_STATE", (directory_ / "state").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("OVN_SIM_STATE");
        fs::remove_all(directory_);
    }
    int Run(std::vector<std::string> arguments, const std::string& machine = kMachine) {
        SimDeviceManager manager(Machine(machine));
        output_ = CapturedOutput();
        return RunCommand(arguments, manager, output_);
    }
    fs::path directory_;
    CapturedOutput output_;
};

TEST_F(SimDec740, DevicesCarryTheIdsWindowsGivesAPciFunction) {
    SimDeviceManager manager(Machine(kMachine));
    auto devices = manager.Devices();
    ASSERT_TRUE(devices.ok());
    ASSERT_EQ(devices.value().size(), 3u);
    const Device& a = devices.value()[0];
    EXPECT_EQ(a.instanceId, kCardA);
    EXPECT_EQ(a.hardwareIds,
              (std::vector<std::string>{"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00", kK740,
                                        "PCI\\VEN_1002&DEV_6828&CC_030000",
                                        "PCI\\VEN_1002&DEV_6828&CC_0300"}));
    EXPECT_EQ(a.compatibleIds.at(1), "PCI\\VEN_1002&DEV_6828");
    ASSERT_TRUE(a.driver);
    EXPECT_EQ(a.driver->infPath, "C:\\Windows\\INF\\oem12.inf");
    EXPECT_FALSE(devices.value()[1].driver);
    EXPECT_EQ(devices.value()[2].hardwareIds.at(1), "PCI\\VEN_1002&DEV_6828&SUBSYS_0B0E1002");
}

TEST_F(SimDec740, DriverFilesNamesTheInfAndItsFiles) {
    EXPECT_EQ(Run({"driverfiles", kK740}), kExitDone);
    EXPECT_EQ(output_.out, std::string(kCardA) +
                               "\n"
                               "    Name: Orvane K740 Display\n"
                               "    Driver installed from C:\\Windows\\INF\\oem12.inf "
                               "[ati2mtag_R6xx]. 2 file(s) used by driver:\n"
                               "        C:\\Windows\\system32\\DRIVERS\\atikmdag.sys\n"
                               "        C:\\Windows\\system32\\atiumdag.dll\n" +
                               kCardB +
                               "\n"
                               "    Name: Video Controller\n"
                               "    No driver is installed for this device.\n"
                               "2 device(s) found.\n");
}

TEST_F(SimDec740, DisableThatNeedsARestartTakesEffectAtTheSimulatedRestart) {
    EXPECT_EQ(Run({"disable", kK740}), kExitNeedsRestart);
    EXPECT_NE(output_.out.find(std::string(kCardA) + ": Disabled at the next restart\n"),
              std::string::npos);
    EXPECT_FALSE(sim::host::GetDeviceState(kCardA).disabled);
    EXPECT_TRUE(sim::host::GetDeviceState(kCardB).disabled);  // card B goes at once

    sim::host::SimulateRestart();
    EXPECT_TRUE(sim::host::GetDeviceState(kCardA).disabled);
    EXPECT_EQ(Run({"disable", kK740}), kExitDone);  // nothing left to wait for

    EXPECT_EQ(Run({"enable", kK740}), kExitDone);
    EXPECT_FALSE(sim::host::GetDeviceState(kCardA).disabled);
    EXPECT_FALSE(sim::host::GetDeviceState(kCardB).disabled);
}

TEST_F(SimDec740, EnableBeforeTheRestartCancelsTheWaitingDisable) {
    EXPECT_EQ(Run({"disable", "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00"}), kExitNeedsRestart);
    EXPECT_EQ(Run({"enable", kK740}), kExitDone);
    sim::host::SimulateRestart();
    EXPECT_FALSE(sim::host::GetDeviceState(kCardA).disabled);
}

TEST_F(SimDec740, DisableThatFailsNamesTheCallAndMatchesNothingElse) {
    std::string failing = kMachine;
    failing.replace(failing.find("afterRestart"), 12, "fails");
    EXPECT_EQ(Run({"disable", kK740}, failing), kExitFailed);
    EXPECT_EQ(output_.err, std::string(kCardA) +
                               ": not disabled: SetupDiCallClassInstaller failed with error "
                               "0x00000005.\n");
    EXPECT_FALSE(sim::host::GetDeviceState(kCardA).disabled);
    EXPECT_EQ(Run({"disable", "PCI\\VEN_1002&DEV_6828&SUBSYS_0B0E1002"}, failing), kExitDone);
}

TEST_F(SimDec740, AFailingEnableOrListingNamesItsCallAndChangesNothing) {
    std::string machine = kMachine;
    machine.replace(machine.find("\"disable\": \"afterRestart\""), 25,
                    "\"disable\": \"atOnce\", \"enable\": \"fails\"");
    EXPECT_EQ(Run({"disable", kK740}, machine), kExitDone);
    EXPECT_EQ(Run({"enable", kK740}, machine), kExitFailed);
    EXPECT_NE(output_.err.find("SetupDiCallClassInstaller failed with error 0x00000005"),
              std::string::npos)
        << output_.err;
    EXPECT_TRUE(sim::host::GetDeviceState(kCardA).disabled);

    machine.replace(machine.find("\"enable\": \"fails\""), 17, "\"driverQuery\": \"fails\"");
    EXPECT_EQ(Run({"driverfiles", kK740}, machine), kExitFailed);
    EXPECT_NE(output_.err.find("SetupDiGetClassDevsW failed with error 0x00000005"),
              std::string::npos)
        << output_.err;
    EXPECT_EQ(Run({"enable", kK740}, machine), kExitFailed);
    EXPECT_TRUE(sim::host::GetDeviceState(kCardA).disabled);
}

// What the host edition runs: the program reads the machine file and state directory from the
// environment, like the simulated driver-access library.
class HostProgram : public SimDec740 {
protected:
    int RunProgram(const std::string& arguments) {
        fs::path machine = directory_ / "machine.json";
        std::ofstream(machine) << kMachine;
        std::string command = "OVN_SIM_MACHINE='" + machine.string() +
                              "' '" DEC740_HOST_PROGRAM "' " + arguments + " 2>&1";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return -1;
        text_.clear();
        std::array<char, 512> buffer;
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
            text_.append(buffer.data(), n);
        }
        int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string text_;
};

TEST_F(HostProgram, DisableAcrossARestartThenEnable) {
    const std::string id = "'PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7'";
    EXPECT_EQ(RunProgram("driverfiles " + id), 0) << text_;
    EXPECT_NE(text_.find("C:\\Windows\\INF\\oem12.inf [ati2mtag_R6xx]"), std::string::npos);
    EXPECT_EQ(RunProgram("disable " + id), 1) << text_;
    EXPECT_FALSE(sim::host::GetDeviceState(kCardA).disabled);
    sim::host::SimulateRestart();
    EXPECT_TRUE(sim::host::GetDeviceState(kCardA).disabled);
    EXPECT_EQ(RunProgram("disable " + id), 0) << text_;
    EXPECT_EQ(RunProgram("enable " + id), 0) << text_;
    EXPECT_FALSE(sim::host::GetDeviceState(kCardA).disabled);
    EXPECT_EQ(RunProgram("disable ROOT\\\\NONE"), 2) << text_;
    EXPECT_EQ(RunProgram("frobnicate " + id), 3) << text_;
}

TEST_F(HostProgram, UnreadableMachineFileFailsWithTheFault) {
    std::string command =
        "OVN_SIM_MACHINE=/nonexistent/m.json '" DEC740_HOST_PROGRAM "' driverfiles X 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::array<char, 512> buffer{};
    std::size_t n = std::fread(buffer.data(), 1, buffer.size() - 1, pipe);
    EXPECT_EQ(WEXITSTATUS(::pclose(pipe)), 2);
    EXPECT_NE(std::string(buffer.data(), n).find("simulated machine file '/nonexistent/m.json'"),
              std::string::npos);
}

}  // namespace
}  // namespace dec740
