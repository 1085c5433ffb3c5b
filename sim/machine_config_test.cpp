// Machine files: what they describe, and faults that name the file and the place of the mistake.
#include "sim/machine_config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/sim_machine.h"

namespace sim {
namespace {

std::string FaultOf(const std::string& text) {
    MachineConfig config;
    std::string fault;
    EXPECT_FALSE(ParseMachineConfig(text, config, fault)) << text;
    return fault;
}

constexpr const char* kCard =
    R"({"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000"})";

TEST(MachineConfig, ReadsCardsFunctionsAndFaults) {
    MachineConfig config;
    std::string fault;
    ASSERT_TRUE(ParseMachineConfig(R"({
        "processorMhz": 1800,
        "driverFault": {"call": "StartServiceW", "code": "0x241"},
        "cards": [
          {"bus": 3, "device": 0, "function": 0, "bar": "64", "aperture": "0x4E0000000",
           "barFlags": "0x0C", "version": "2.0.1", "writeCost": 4096,
           "faults": {"mapFails": true, "i2cNeverDone": true, "tdoStuck": 1, "failAfterBits": 99}},
          {"bus": "0x81", "device": 2, "function": 1, "bar": "32", "aperture": 4158652416,
           "chain": "scripted", "script": [{"scan": "ir", "tdo": "01", "bits": 6}]}
        ],
        "functions": [{"bus": 0, "device": 1, "function": 0, "vendor": "0x1022", "class": "0x060400"}]
    })",
                                   config, fault))
        << fault;
    EXPECT_EQ(config.driverFault.call, "StartServiceW");
    EXPECT_EQ(config.driverFault.code, 577u);
    EXPECT_EQ(config.processorMhz, 1800u);
    ASSERT_EQ(config.cards.size(), 2u);
    const CardConfig& a = config.cards[0];
    EXPECT_EQ(a.aperture, 0x4E0000000ull);
    EXPECT_EQ(a.barFlags, 0x0C);
    EXPECT_EQ(a.version, (FpgaVersion{2, 0, 1, 0}));
    EXPECT_TRUE(a.faults.mapFails && a.faults.i2cNeverDone);
    EXPECT_EQ(a.faults.chain.tdoStuck, 1);
    EXPECT_EQ(a.faults.chain.failAfterBits, 99u);
    const CardConfig& b = config.cards[1];
    EXPECT_EQ(b.bus, 0x81);
    EXPECT_EQ(b.bar, BarKind::Bar32);
    EXPECT_EQ(b.barFlags, 0x00);
    EXPECT_EQ(b.chain, ChainKind::Scripted);
    ASSERT_EQ(b.script.size(), 1u);
    EXPECT_EQ(b.script[0].tdo.count, 6u);
    EXPECT_EQ(config.functions.at(0).classCode, 0x060400u);
}

TEST(MachineConfig, FaultsSayWhereAndWhat) {
    EXPECT_EQ(
        FaultOf(std::string(R"({"cards": [)") + kCard +
                R"(, {"bus": 4, "device": 0, "function": 0, "bar": "16", "aperture": 65536}]})"),
        "cards[1].bar: expected \"64\" or \"32\"");
    EXPECT_EQ(FaultOf(R"({"cards": [{"bus": 4, "device": 0, "function": 0, "bar": "64"}]})"),
              "cards[0].aperture: missing");
    EXPECT_EQ(FaultOf(R"({"cards": [{"bus": 4, "device": 0, "function": 0, "bar": "32",
                                     "aperture": "0x100000000"}]})"),
              "cards[0].aperture: 0x100000000 is larger than 0xFFFF0000");
    EXPECT_EQ(FaultOf(R"({"cards": [{"bus": 4, "device": 0, "function": 0, "bar": "64",
                                     "aperture": "0x12340"}]})"),
              "cards[0].aperture: 0x12340 is not a nonzero multiple of 64 KiB");
    EXPECT_EQ(FaultOf(R"({"cards": [{"bus": 4, "device": 32, "function": 0, "bar": "64",
                                     "aperture": 65536}]})"),
              "cards[0].device: 0x20 is larger than 0x1F");
    EXPECT_EQ(FaultOf(R"({"cards": [{"bus": 4, "device": 0, "function": 0, "bar": "64",
                                     "aperture": 65536, "faults": {"tdoStuck": 2}}]})"),
              "cards[0].faults.tdoStuck: 0x2 is larger than 0x1");
    EXPECT_EQ(FaultOf(R"({"cards": [{"bus": 4, "device": 0, "function": 0, "bar": "64",
                                     "aperture": 65536, "version": "1.2"}]})"),
              "cards[0].version: expected major.minor.patch[.build], each 0 to 255");
    EXPECT_EQ(FaultOf(R"({"cards": [{"bus": 4, "device": 0, "function": 0, "bar": "64",
                                     "aperture": 65536, "colour": "red"}]})"),
              "cards[0].colour: unknown key");
    EXPECT_EQ(
        FaultOf(std::string(R"({"cards": [)") + kCard +
                R"(], "functions": [{"bus": 3, "device": 0, "function": 0, "vendor": 4098}]})"),
        "functions[0]: PCI address used twice");
    EXPECT_EQ(FaultOf(R"({"driverLibrary": "yes"})"), "driverLibrary: expected true or false");
    EXPECT_EQ(FaultOf(R"({"driverFault": {"code": 5}})"), "driverFault.call: missing");
    EXPECT_EQ(FaultOf(R"({"driverFault": {"call": ""}})"),
              "driverFault.call: expected 1 to 31 characters");
    EXPECT_EQ(FaultOf(R"({"cards": {}})"), "cards: expected an array");
    EXPECT_EQ(FaultOf(R"([1, 2])"), ": expected an object");
    EXPECT_EQ(FaultOf(R"({"cards": [)").rfind("JSON: ", 0), 0u);
}

TEST(MachineFile, UnreadableFileIsNamed) {
    MachineConfig config;
    std::string line;
    EXPECT_FALSE(LoadMachineFile("no-such-dir/machine.json", config, line));
    EXPECT_EQ(line, "simulated machine file 'no-such-dir/machine.json': cannot be read");
}

// Each test runs as its own process beside others, so its files carry the process id.
class MachineFileEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string id = std::to_string(getpid());
        path_ = (std::filesystem::temp_directory_path() / ("ovn-sim-test-machine-" + id + ".json"))
                    .string();
        state_ = std::filesystem::temp_directory_path() / ("ovn-sim-test-state-" + id);
    }
    void TearDown() override {
        unsetenv("OVN_SIM_MACHINE");
        unsetenv("OVN_SIM_STATE");
        ForgetMachine();
        std::filesystem::remove(path_);
        std::filesystem::remove_all(state_);
    }
    void Use(const std::string& text) {
        std::ofstream(path_) << text;
        setenv("OVN_SIM_MACHINE", path_.c_str(), 1);
        setenv("OVN_SIM_STATE", state_.c_str(), 1);
        ForgetMachine();
    }
    std::string path_;
    std::filesystem::path state_;
};

TEST_F(MachineFileEnvironment, MalformedFileMakesTheLibraryUnavailableAndSaysWhy) {
    Use(R"({"cards": [{"bus": 3, "device": 0, "function": 0, "bar": 64, "aperture": 65536}]})");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(SimDriverLibraryAvailable());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "simulated machine file '" + path_ + "': cards[0].bar: expected \"64\" or \"32\"\n");
    EXPECT_EQ(CurrentMachine().CardCount(), 0u);
}

TEST_F(MachineFileEnvironment, WellFormedFileIsTheMachine) {
    Use(std::string(R"({"processorMhz": 1234, "cards": [)") + kCard + "]}");
    EXPECT_TRUE(SimDriverLibraryAvailable());
    EXPECT_EQ(CurrentMachine().CardCount(), 1u);
    EXPECT_EQ(CurrentMachine().ProcessorMhz(), 1234u);
}

TEST_F(MachineFileEnvironment, DriverLibraryFalseMeansNoLibrary) {
    Use(R"({"driverLibrary": false})");
    EXPECT_FALSE(SimDriverLibraryAvailable());
}

}  // namespace
}  // namespace sim
