// Whole runs that program the simulated cards: prompt answers, progress, failures, power, Ctrl+C.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "simhost/host_registry.h"
#include "simhost/host_state.h"
#include "testing/xsvf_writer/xsvf_writer.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

constexpr const char* kNewVersionList =
    "   PCIe Bus: 0x0300   FPGA version: 1.4.2\n"
    "   PCIe Bus: 0x0400   FPGA version: 1.4.2\n";

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// The percentages of the progress line's refreshes, in order ("\b\b\b\b" then the number and '%').
std::vector<int> RefreshPercentages(const std::string& console) {
    std::vector<int> shown;
    const std::string refresh = "\b\b\b\b";
    std::size_t at = console.find("Programming the FPGA:");
    for (at = console.find(refresh, at); at != std::string::npos; at = console.find(refresh, at)) {
        at += refresh.size();
        const std::size_t percent = console.find('%', at);
        if (percent == std::string::npos) break;
        shown.push_back(std::stoi(console.substr(at, percent - at)));
    }
    return shown;
}

// The test process reads the simulated host of the sandbox.
void UseStateOf(const UpdaterSandbox& box) {
    setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
}

}  // namespace

TEST(ProgrammingRun, IgnoredKeysThenYesProgramsBothCardsAndPutsTheHostBack) {
    UpdaterSandbox box;
    UseStateOf(box);
    sim::host::RegistrySetString(sim::host::RegistryView::k32,
                                 L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 L"OvnK740FpgaUpdater", L"stale");
    sim::host::RegistrySetString(sim::host::RegistryView::k32,
                                 L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater", L"Config",
                                 L"stale");
    const std::uint32_t powerBefore = sim::host::AcMinProcessorState();
    box.WriteFile("demo.xsvf", DemoImage());

    tagUpdaterRun run = box.Run({"--nobeep", "-f", "demo.xsvf"}, "xqY");
    EXPECT_EQ(run.exitCode, 0);
    const std::string& out = run.console;
    EXPECT_NE(out.find("   XSVF update file: demo.xsvf\n   Calibration...  Done.\n   Update time "
                       "estimate: 5 minutes\n"),
              std::string::npos);
    EXPECT_NE(out.find("   Press 'y' to continue, or 'n' to abort." + std::string(39, '\b') +
                       std::string(39, ' ') + std::string(42, '\b') +
                       "Programming the FPGA:....... 00% "),
              std::string::npos);
    EXPECT_NE(out.find("\b\b\b\b100%"), std::string::npos);
    EXPECT_NE(out.find("\b \n\nExecution time = "), std::string::npos);
    EXPECT_NE(
        out.find(" seconds\n   Result for PCIe Bus: 0x0300   FPGA version: 1.2.7 -> 1.4.2   ok\n"
                 "   Result for PCIe Bus: 0x0400   FPGA version: 1.3.0 -> 1.4.2   ok\n\n\n"
                 "Press any key to exit...\n"),
        std::string::npos)
        << out;
    EXPECT_EQ(out.find('\a'), std::string::npos);

    // The log holds the progress as one long line, backspaces of the format written as blanks.
    const std::string log = box.LogBytes();
    EXPECT_NE(log.find("Programming the FPGA:....... 00%     "), std::string::npos);
    EXPECT_NE(log.find("    100%"), std::string::npos);
    EXPECT_EQ(log.find('\b'), std::string::npos);
    EXPECT_NE(log.find("  \r\n\r\nExecution time = "), std::string::npos);

    EXPECT_EQ(sim::host::AcMinProcessorState(), powerBefore);
    EXPECT_FALSE(sim::host::RegistryGetValue(sim::host::RegistryView::k32,
                                             L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                             L"OvnK740FpgaUpdater"));
    EXPECT_FALSE(sim::host::RegistryGetValue(
        sim::host::RegistryView::k32, L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater", L"Config"));

    EXPECT_NE(box.Run({"-q"}).console.find(kNewVersionList), std::string::npos);
}

TEST(ProgrammingRun, NoAbortsAndLeavesTheCardsAsTheyWere) {
    UpdaterSandbox box;
    UseStateOf(box);
    const std::uint32_t powerBefore = sim::host::AcMinProcessorState();
    box.WriteFile("demo.xsvf", DemoImage());
    // An operator's no declines (0); the end of standard input is nobody answering (13).
    const std::string hint =
        "   No answer came: standard input ended. Use -q for unattended runs.\n";
    for (const char* answer : {"N", ""}) {
        tagUpdaterRun run = box.Run({"-f", "demo.xsvf"}, answer);
        EXPECT_EQ(run.exitCode, *answer ? 0 : 13) << answer;
        EXPECT_NE(run.console.find(std::string(42, '\b') + "   Update aborted.\n\n" +
                                   (*answer ? "" : hint) + "\n\nPress any key to exit...\n"),
                  std::string::npos)
            << run.console;
        EXPECT_EQ(run.console.find("Programming"), std::string::npos);
        EXPECT_EQ(sim::host::AcMinProcessorState(), powerBefore);
    }
    EXPECT_NE(box.Run({"-q"}).console.find("FPGA version: 1.2.7\n"), std::string::npos);
}

TEST(ProgrammingRun, QuietProgramsWithoutAnyPrompt) {
    UpdaterSandbox box;
    box.WriteFile("demo.xsvf", DemoImage());
    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.console.find("Press"), std::string::npos);
    EXPECT_NE(run.console.find("**********\n\n\n\nProgramming the FPGA:"), std::string::npos);
    EXPECT_NE(box.Run({"-q"}).console.find(kNewVersionList), std::string::npos);
}

TEST(ProgrammingRun, FailingCardIsReportedAndTheOtherStillProgrammed) {
    UpdaterSandbox box;
    UseStateOf(box);
    const std::uint32_t powerBefore = sim::host::AcMinProcessorState();
    UseDemoOnDefaultCards(box, "{}", R"({"tdoStuck": 0})");

    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 2);
    // Once the card has failed it counts as 100, so the line never goes back and ends at 100; when
    // the first refresh comes depends on the machine, so no single refresh is pinned to a value.
    const std::vector<int> shown = RefreshPercentages(run.console);
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << ::testing::PrintToString(shown);
    EXPECT_EQ(shown.back(), 100);
    EXPECT_NE(run.console.find("\b \n\nUpdate failed on device at index 1 with error code 2\n"),
              std::string::npos);
    EXPECT_EQ(run.console.find("Execution time"), std::string::npos);
    EXPECT_NE(box.LogBytes().find("\r\n   Card at PCIe Bus 0x0400 failed: command "),
              std::string::npos);
    EXPECT_NE(box.LogBytes().find("; TDO expected "), std::string::npos);
    EXPECT_EQ(sim::host::AcMinProcessorState(), powerBefore);

    tagUpdaterRun after = box.Run({"-q"});
    EXPECT_NE(after.console.find("   PCIe Bus: 0x0300   FPGA version: 1.4.2\n"), std::string::npos);
    EXPECT_NE(after.console.find("   PCIe Bus: 0x0400   FPGA version: 1.3.0\n"), std::string::npos);
}

// The bell sounds on every 16th refresh, right after the backslash of the spinner. The image waits
// longer than the test watches, so the count of refreshes does not depend on the machine's speed.
TEST(ProgrammingRun, BellEverySixteenthRefresh) {
    UpdaterSandbox box;
    box.UseMachine(MachineJson({DefaultCards()[0]}));
    XsvfWriter endless;
    endless.Wait(1, 1, 0xFFFFFFF0u).Complete();
    box.WriteFile("endless.xsvf", std::string(endless.Bytes().begin(), endless.Bytes().end()));
    tagUpdaterRun run = box.RunAndInterruptWhen(
        {"-q", "-f", "endless.xsvf"},
        [](const std::string& out) { return Count(out, "\b\b\b\b") >= 34; });
    ASSERT_TRUE(run.interruptedWhenReady) << run.console;
    EXPECT_EQ(run.exitCode, 1);

    const std::string& out = run.console;
    const std::size_t start = out.find("Programming the FPGA:");
    ASSERT_NE(start, std::string::npos);
    std::size_t refreshes = 0, bells = 0;
    for (std::size_t at = start; at < out.size(); ++at) {
        if (out.compare(at, 4, "\b\b\b\b") == 0) {
            // The refresh before this one was the 16th of its group: its bell came before this.
            EXPECT_EQ(bells, refreshes / 16) << "at refresh " << refreshes;
            ++refreshes;
            at += 3;
        } else if (out[at] == '\a') {
            ++bells;
            EXPECT_EQ(out[at - 1], '\\');
            EXPECT_EQ(refreshes % 16, 0u) << "bell after refresh " << refreshes;
        }
    }
    EXPECT_GE(bells, 2u);
}

TEST(ProgrammingRun, CtrlCRestoresThePowerSettingAndEndsWithOne) {
    UpdaterSandbox box;
    UseStateOf(box);
    const std::uint32_t powerBefore = sim::host::AcMinProcessorState();
    XsvfWriter slow;
    slow.Wait(1, 1, 0xFFFFFFF0u).Complete();
    box.WriteFile("slow.xsvf", std::string(slow.Bytes().begin(), slow.Bytes().end()));
    // Interrupted only once the first refresh shows that the cards are being programmed.
    tagUpdaterRun run =
        box.RunAndInterrupt({"-q", "-f", "slow.xsvf"}, "Programming the FPGA:....... 00% \b\b\b\b");
    ASSERT_TRUE(run.interruptedWhenReady) << run.console;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(sim::host::AcMinProcessorState(), powerBefore);
    EXPECT_EQ(run.console.find("Execution time"), std::string::npos);
}
