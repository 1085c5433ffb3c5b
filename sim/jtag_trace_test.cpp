// The scripted JTAG device and the trace of a chain's scans and waits, in memory and in a file.
#include "sim/jtag_trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/chain_driver_testutil.h"
#include "sim/sim_machine.h"

namespace sim {
namespace {

constexpr const char* kScripted = R"({"cards": [{"bus": 3, "device": 0, "function": 0, "bar": "64",
    "aperture": "0x4E0000000", "chain": "scripted",
    "script": [{"scan": "ir", "tdo": "01", "bits": 6}, {"scan": "dr", "tdo": "DEADBEEF"}]}]})";

class ScriptedChainTest : public ::testing::Test {
protected:
    void TearDown() override { ForgetMachine(); }
    SimCard& Install(const MachineOptions& options) {
        std::string fault;
        EXPECT_TRUE(InstallMachineJson(kScripted, options, &fault)) << fault;
        return CurrentMachine().Card(0);
    }
};

TEST_F(ScriptedChainTest, AnswersFromTheScriptAndRecordsWhatItReceived) {
    SimCard& card = Install({});
    ASSERT_NE(card.Scripted(), nullptr);
    testing::ChainDriver jtag(card.Chain());
    jtag.ResetToIdle();
    EXPECT_EQ(jtag.ScanIr(6, 0x09), 0x01u);
    EXPECT_EQ(jtag.ScanDr(32, 0x12345678), 0xDEADBEEFu);
    const auto& received = card.Scripted()->Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].kind, ScanKind::Ir);
    EXPECT_EQ(received[0].tdi.Hex(), "09");
    EXPECT_EQ(received[1].tdi.Hex(), "12345678");
    EXPECT_EQ(card.Scripted()->Deviations(), 0u);
    EXPECT_EQ(jtag.ScanDr(8, 0xFF), 0u) << "past the script TDO reads 0";
    EXPECT_EQ(card.Scripted()->Deviations(), 1u);
}

TEST_F(ScriptedChainTest, AScanOfTheWrongKindIsADeviation) {
    SimCard& card = Install({});
    testing::ChainDriver jtag(card.Chain());
    jtag.ResetToIdle();
    jtag.ScanDr(6, 0);
    EXPECT_FALSE(card.Scripted()->Received()[0].kindMatched);
    EXPECT_EQ(card.Scripted()->Deviations(), 1u);
}

TEST_F(ScriptedChainTest, TraceHoldsScansWithTheirPathsAndWaits) {
    MachineOptions options;
    options.keepTrace = true;
    SimCard& card = Install(options);
    testing::ChainDriver jtag(card.Chain());
    jtag.ResetToIdle();
    jtag.Idle(16);
    jtag.ScanIr(6, 0x09);
    jtag.ScanDr(32, 0x12345678);
    jtag.Idle(3);
    card.Chain().FlushTrace();
    std::vector<std::string> lines;
    for (const auto& r : card.Chain().Records()) lines.push_back(r.Text());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "WAIT Test-Logic-Reset 5",
                         "WAIT Run-Test/Idle 16",
                         "IR 6 tdi=09 tdo=01 path=1 2 9 10 11 12 15",
                         "DR 32 tdi=12345678 tdo=DEADBEEF path=1 2 3 4 5 8",
                         "WAIT Run-Test/Idle 3",
                     }));
}

TEST_F(ScriptedChainTest, PauseStatesCountTheirPulsesInThePath) {
    MachineOptions options;
    options.keepTrace = true;
    SimCard& card = Install(options);
    testing::ChainDriver jtag(card.Chain());
    jtag.ResetToIdle();
    for (bool tms : {true, true, false, false}) jtag.Clock(tms);                 // Shift-IR
    for (bool tms : {false, false, false, false, false, true}) jtag.Clock(tms);  // 6 bits
    for (bool tms : {false, false, false, true, true, false}) jtag.Clock(tms);
    ASSERT_EQ(card.Chain().Records().size(), 2u);
    EXPECT_EQ(card.Chain().Records()[1].Text(),
              "IR 6 tdi=00 tdo=01 path=1 2 9 10 11 12 13*2 14 15");
}

TEST_F(ScriptedChainTest, TraceFileGetsOneLinePerRecordWithTheCardsPlace) {
    auto path = std::filesystem::temp_directory_path() /
                ("ovn-sim-test-trace-" + std::to_string(getpid()) + ".txt");
    std::filesystem::remove(path);
    MachineOptions options;
    options.traceFile = path.string();
    SimCard& card = Install(options);
    testing::ChainDriver jtag(card.Chain());
    jtag.ResetToIdle();
    jtag.ScanIr(6, 0x09);
    ForgetMachine();
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(
        text.str(),
        "03:00.0 WAIT Test-Logic-Reset 5\n03:00.0 IR 6 tdi=09 tdo=01 path=1 2 9 10 11 12 15\n");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace sim
