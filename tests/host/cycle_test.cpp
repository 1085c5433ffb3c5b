// Whole restart cycles of the host edition: several runs with simulated restarts and logons.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "simhost/host_records.h"
#include "simhost/host_registry.h"
#include "simhost/host_restart.h"
#include "simhost/host_state.h"
#include "simhost/host_store.h"
#include "tests/host/cycle_world.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"
#include "text/text_encoding.h"

using namespace cycle;

TEST(Cycle, WithoutADisplayDriverTheRunOnlyProgramsTheCards) {
    CycleBox world(Machine(""));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 0) << run.console;
    EXPECT_EQ(ChildWords(), Words{"driverfiles"});
    EXPECT_TRUE(sim::host::Restarts().empty());
    EXPECT_TRUE(CoreRuns());
    EXPECT_FALSE(RunOnce());
    EXPECT_NE(run.console.find("Execution time = "), std::string::npos);
}

TEST(Cycle, DisableAtOnceProgramsEnablesAndRestartsWithTheImportRegistered) {
    CycleBox world(Machine("atOnce"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 0) << run.console;
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_FALSE(CoreRuns());
    EXPECT_GE(sim::host::NamedEventSetCount(kCoreEvent), 1u);
    ASSERT_EQ(sim::host::Restarts().size(), 1u);
    EXPECT_TRUE(sim::host::Restarts()[0].forceAppsClosed);
    // The sandbox's working folder holds no blank: the path stands unquoted.
    const std::wstring settingsFile =
        Utf8ToWide((world.box.WorkingFolder() / "pxcfg.txt").string());
    EXPECT_EQ(ImportEntry(), L"\"" + Utf8ToWide(world.box.SuiteDirectory().string()) +
                                 L"/Orvane.PluxCmd.exe\" /import " + settingsFile);
    EXPECT_FALSE(RunOnce());
    EXPECT_FALSE(Config());
    EXPECT_EQ(run.console.find("Press any key to exit..."), std::string::npos);

    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
    EXPECT_FALSE(ImportEntry());
}

TEST(Cycle, DisableNeedingARestartResumesTheUpdateAndCarriesTheSettingsByteExact) {
    CycleBox world(Machine("afterRestart"));
    world.box.InstallProgram("bin", true);
    world.box.WriteFile("bin/image.xsvf", DemoImage());
    const std::string folder = world.box.WorkingFolder().string() + "/";

    tagUpdaterRun first = world.box.Run({"-b", "-f", "image.xsvf"}, "y");
    EXPECT_EQ(first.exitCode, 0) << first.console;
    EXPECT_NE(first.console.find(kDisableRestartText), std::string::npos);
    EXPECT_EQ(first.console.find("WARNING"), std::string::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable"}));
    EXPECT_EQ(RunOnce(), Utf8ToWide("\"" + folder + "OvnK740FpgaUpdater\" -b -f \"" + folder +
                                    "resume.xsvf\""));
    EXPECT_EQ(Config(), kSettings);
    // One entry starts the program at the logon: the resume, not a second name beside it.
    EXPECT_EQ(RunOnceNames(), std::vector<std::wstring>{L"!OvnK740FpgaUpdater"});
    EXPECT_EQ(sim::host::Restarts().size(), 1u);

    // The settings file must come back from "Config", not from what the first run left.
    std::filesystem::remove(world.box.WorkingFolder() / "pxcfg.txt");
    world.StartCore();  // the suite starts again at the logon
    tagUpdaterRun resumed = world.box.RestartAndLogon("y");
    EXPECT_NE(resumed.console.find("   XSVF update file: " + folder + "resume.xsvf"),
              std::string::npos)
        << resumed.console;
    EXPECT_NE(resumed.console.find("100%"), std::string::npos);
    EXPECT_EQ(ChildWords(),
              (Words{"driverfiles", "/export", "disable", "driverfiles", "disable", "enable"}));
    EXPECT_EQ(sim::host::SuiteExports().size(), 1u);
    EXPECT_FALSE(Config());
    EXPECT_EQ(sim::host::Restarts().size(), 2u);
    EXPECT_EQ(ReadFileBytes(world.box.WorkingFolder() / "pxcfg.txt"), kSettings);
    // The tidy-up took the copies the resume started from.
    EXPECT_FALSE(std::filesystem::exists(world.box.WorkingFolder() / "resume.xsvf"));
    EXPECT_FALSE(std::filesystem::exists(world.box.WorkingFolder() / "OvnK740FpgaUpdater"));
    EXPECT_FALSE(RunOnce());
    ASSERT_TRUE(ImportEntry());
    EXPECT_NE(ImportEntry()->find(L"Orvane.PluxCmd.exe\" /import "), std::wstring::npos);

    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
    EXPECT_EQ(sim::host::Logons(), 2u);
}

// An operator's n declines (0); nobody there to answer (the input's end) gives 13. The machine is
// left the same way by both.
TEST(Cycle, DecliningOrNotAnsweringTheRestartEnablesAndRegistersOnlyTheImport) {
    for (const std::string answer : {"n", ""}) {
        CycleBox world(Machine("afterRestart"));
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = world.box.Run({"-b", "-f", "image.xsvf"}, answer);
        EXPECT_EQ(run.exitCode, answer.empty() ? 13 : 0) << run.console;
        EXPECT_NE(run.console.find("   Update aborted.\n\n"), std::string::npos);
        EXPECT_EQ(run.console.find("Use -q for unattended runs.") != std::string::npos,
                  answer.empty())
            << run.console;
        const nlohmann::json result = nlohmann::json::parse(
            ReadFileBytes(world.box.WorkingFolder() / "last-run.json"), nullptr, false);
        ASSERT_TRUE(result.is_object()) << "no last-run.json";
        EXPECT_EQ(result["outcome"]["kind"], answer.empty() ? "unanswered" : "declined");
        EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
        EXPECT_FALSE(RunOnce());
        EXPECT_FALSE(Config());
        EXPECT_TRUE(sim::host::Restarts().empty());
        // The suite was closed for the cycle: its settings come back at the next logon.
        EXPECT_EQ(RunOnceNames(), std::vector<std::wstring>{L"!OvnK740FpgaUpdaterImport"});
        world.box.RestartAndLogon();
        ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
        EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
    }
}

TEST(Cycle, DecliningTheWarningPromptRegistersTheImport) {
    CycleBox world(Machine("atOnce"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-b", "-f", "image.xsvf"}, "n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.console.find("   Update aborted.\n\n"), std::string::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_TRUE(sim::host::Restarts().empty());
    EXPECT_EQ(RunOnceNames(), std::vector<std::wstring>{L"!OvnK740FpgaUpdaterImport"});
    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
}

TEST(Cycle, DecliningTheWarningOfAResumedRunDeletesConfigAndEnablesWithoutARestart) {
    CycleBox world(Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    ASSERT_EQ(world.box.Run({"-b", "-f", world.box.Root().string() + "/image.xsvf"}, "y").exitCode,
              0);
    ASSERT_TRUE(Config());
    tagUpdaterRun resumed = world.box.RestartAndLogon("n");
    EXPECT_NE(resumed.console.find("   Update aborted.\n\n"), std::string::npos);
    EXPECT_EQ(ChildWords(),
              (Words{"driverfiles", "/export", "disable", "driverfiles", "disable", "enable"}));
    EXPECT_FALSE(Config());
    EXPECT_FALSE(RunOnce());
    EXPECT_EQ(sim::host::Restarts().size(), 1u);
}

TEST(Cycle, NoRebootEndsWithThreeRegistersNothingAndTheNextStartAfterARestartContinues) {
    CycleBox world(Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-n", "-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.console.find("\n\n   For the display driver to be disabled, your system must "
                               "be restarted.\n"),
              std::string::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable"}));
    EXPECT_FALSE(RunOnce());
    EXPECT_TRUE(sim::host::Restarts().empty());
    // The journal keeps the cycle (and "Config" its settings) for the caller's next start.
    EXPECT_EQ(Config(), kSettings);

    // The caller (a fleet tool) restarts the machine and starts the utility again.
    sim::host::SimulateRestart();
    tagUpdaterRun next = world.box.Run({"-n", "-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(next.exitCode, 4) << next.console;
    EXPECT_NE(next.console.find("Execution time = "), std::string::npos);
    EXPECT_EQ(ChildWords(),
              (Words{"driverfiles", "/export", "disable", "driverfiles", "disable", "enable"}));
    EXPECT_EQ(sim::host::SuiteExports().size(), 1u);
    EXPECT_FALSE(Config());
    EXPECT_FALSE(RunOnce());
    // The caller's restart imports the settings exported for the cycle.
    EXPECT_TRUE(ImportEntry());
    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
}

TEST(Cycle, NoRebootEndsWithFourAfterTheUpdateEvenWhenACardFailed) {
    {
        std::vector<tagTestCard> cards = DefaultCards();
        for (tagTestCard& card : cards) card.display = DisplayDriver("atOnce");
        cards[1].faults = R"({"tdoStuck": 1})";
        CycleBox world(
            MachineJson(cards, true, "\"suite\": {\"settingsHex\": \"" + Hex(kSettings) + "\"}"));
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = world.box.Run({"--noreboot", "-q", "-b", "-f", "image.xsvf"});
        EXPECT_EQ(run.exitCode, 4) << run.console;
        EXPECT_NE(run.console.find("\n\n   Enabling the graphics driver requires a reboot.\n   You "
                                   "must reboot the computer to complete the update process.\n"),
                  std::string::npos);
        EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
        EXPECT_TRUE(sim::host::Restarts().empty());
        // Only the import waits for the caller's restart.
        EXPECT_EQ(RunOnceNames(), std::vector<std::wstring>{L"!OvnK740FpgaUpdaterImport"});
        world.box.RestartAndLogon();
        ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
        EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
    }
}

TEST(Cycle, AResumedRunWhoseImageIsGoneBringsTheDriverAndSettingsBackWithoutARestart) {
    CycleBox world(Machine("afterRestart"));
    const auto image = world.box.WriteFile("image.xsvf", DemoImage());
    ASSERT_EQ(world.box.Run({"-q", "-f", image.string()}).exitCode, 0);
    const auto copy = world.box.WorkingFolder() / "resume.xsvf";
    std::filesystem::remove(copy);
    std::filesystem::remove(world.box.WorkingFolder() / "pxcfg.txt");

    tagUpdaterRun resumed = world.box.RestartAndLogon();
    EXPECT_NE(resumed.console.find("Error: Unable to open file " + copy.string()),
              std::string::npos);
    EXPECT_NE(resumed.console.find("   No usable XSVF file: nothing was programmed, and the "
                                   "display driver is enabled again.\n"),
              std::string::npos)
        << resumed.console;
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_FALSE(Config());
    EXPECT_EQ(sim::host::Restarts().size(), 1u);
    ASSERT_TRUE(ImportEntry());
    EXPECT_NE(ImportEntry()->find(L" /import "), std::wstring::npos);

    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
}

// A copy cut to nothing (a power cut while it was written, or emptied by hand) is no image the
// restart recorded: the resumed run programs nothing, says so, ends with 2 and puts the driver and
// the settings back.
TEST(Cycle, AResumedRunWhoseImageCopyIsEmptyIsRefusedAndTheDisplayComesBack) {
    CycleBox world(Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    ASSERT_EQ(world.box.Run({"-q", "-f", "image.xsvf"}).exitCode, 0);
    const auto copy = world.box.WorkingFolder() / "resume.xsvf";
    std::filesystem::resize_file(copy, 0);

    // What the run-once entry starts, run directly so its exit code is seen.
    tagUpdaterRun resumed = world.box.Run({"-q", "-f", copy.string()});
    EXPECT_EQ(resumed.exitCode, 2) << resumed.console;
    EXPECT_NE(resumed.console.find("is not the one the update was started with before the "
                                   "restart"),
              std::string::npos)
        << resumed.console;
    EXPECT_NE(resumed.console.find("   No usable XSVF file: nothing was programmed, and the "
                                   "display driver is enabled again.\n"),
              std::string::npos)
        << resumed.console;
    EXPECT_EQ(resumed.console.find("Execution time"), std::string::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_FALSE(Config());
    EXPECT_FALSE(RunOnce());
    ASSERT_TRUE(ImportEntry());
    // The result says what the run did, and never that it succeeded.
    const std::string lastRun = ReadFileBytes(world.box.WorkingFolder() / "last-run.json");
    EXPECT_NE(lastRun.find("\"exitCode\": 2"), std::string::npos) << lastRun;
    EXPECT_EQ(lastRun.find("success"), std::string::npos) << lastRun;

    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
}

TEST(Cycle, WithoutTheSuiteTheRunGoesOnAndNothingIsImported) {
    {
        UpdaterSandbox box;
        setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
        box.UseMachine(Machine("atOnce"));
        box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = box.Run({"-q", "-b", "-f", "image.xsvf"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
        EXPECT_EQ(sim::host::Restarts().size(), 1u);
        box.RestartAndLogon();  // the import cannot start: nothing is imported
        EXPECT_TRUE(sim::host::SuiteImports().empty());
    }
}

TEST(Cycle, AnExportThatNeverEndsIsLeftBehindAndTheRunGoesOn) {
    {
        CycleBox world(
            Machine("atOnce", "\"suite\": {\"settings\": \"s\", \"exportNeverEnds\": true}"));
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
        EXPECT_EQ(sim::host::Restarts().size(), 1u);
    }
}

TEST(Cycle, WithoutAWorkingFolderNoToolStopsTheRunBeforeProgramming) {
    CycleBox world(Machine("atOnce"));
    // Neither the folder nor a place to move it aside to: the program data folder is a file.
    std::filesystem::remove_all(world.box.StateDirectory() / "ProgramData");
    world.box.WriteFile("state/ProgramData", "not a folder");
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 10);
    EXPECT_NE(run.console.find("   Error: No safe working folder could be prepared"),
              std::string::npos)
        << run.console;
    EXPECT_NE(world.box.LogBytes().find("No safe working folder"), std::string::npos);
    EXPECT_NE(run.console.find("   Error: The device console tool could not be written to the "
                               "working folder.\n   The display driver cannot be switched "
                               "off safely: no card will be programmed.\n"),
              std::string::npos)
        << run.console;
    EXPECT_EQ(run.console.find("Execution time"), std::string::npos);
    EXPECT_TRUE(ChildWords().empty());
    EXPECT_TRUE(sim::host::Restarts().empty());
}

namespace {

// Both cards with a display driver that is disabled at once, and these members in their display.
std::string MachineWithDisplay(const std::string& displayMembers,
                               const std::string& machineMembers = "") {
    std::vector<tagTestCard> cards = DefaultCards();
    for (tagTestCard& card : cards) {
        card.display = DisplayDriver("atOnce");
        card.display.insert(card.display.size() - 1, ", " + displayMembers);
    }
    return MachineJson(cards, true,
                       machineMembers + "\"suite\": {\"settingsHex\": \"" + Hex(kSettings) + "\"}");
}

std::optional<std::string> Journal() {
    auto text = sim::host::RegistryGetString(RegistryView::k32, kUtilityKey, L"Journal");
    if (!text) return std::nullopt;
    return WideToUtf8(*text);
}

bool DisplayEnabled() {
    const nlohmann::json devices = sim::host::Load().value("devices", nlohmann::json::object());
    for (const auto& device : devices.items())
        if (device.value().value("disabled", false)) return false;
    return true;
}

nlohmann::json LastRunOutcome(const UpdaterSandbox& box) {
    const std::string text = ReadFileBytes(box.WorkingFolder() / "last-run.json");
    EXPECT_FALSE(text.empty()) << "no last-run.json";
    return text.empty() ? nlohmann::json::object() : nlohmann::json::parse(text)["outcome"];
}

constexpr auto npos = std::string::npos;

}  // namespace

TEST(Cycle, AFailedDriverQueryStopsBeforeProgrammingAndChangesNothing) {
    CycleBox world(MachineWithDisplay(R"("driverQuery": "fails")"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 10) << run.console;
    EXPECT_NE(run.console.find("   Error: The installed display driver could not be queried (exit "
                               "code 2).\n   The display driver cannot be switched off safely: no "
                               "card will be programmed.\n"),
              npos)
        << run.console;
    EXPECT_EQ(run.console.find("Execution time"), npos);
    EXPECT_EQ(ChildWords(), Words{"driverfiles"});
    EXPECT_TRUE(CoreRuns());
    EXPECT_FALSE(RunOnce());
    EXPECT_FALSE(Config());
    EXPECT_FALSE(Journal());
    EXPECT_TRUE(sim::host::Restarts().empty());
    EXPECT_NE(world.box.LogBytes().find("SetupDiGetClassDevsW"), npos) << world.box.LogBytes();
}

TEST(Cycle, AFailedEnableIsSaidKeepsTheCycleAndTheNextStartEnablesAgain) {
    CycleBox world(MachineWithDisplay(R"("enable": "fails")"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 10) << run.console;
    EXPECT_NE(run.console.find("Execution time = "), npos) << run.console;
    EXPECT_NE(run.console.find("\n   Error: The display driver could not be enabled again (exit "
                               "code 2).\n"),
              npos)
        << run.console;
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_FALSE(DisplayEnabled());
    EXPECT_TRUE(sim::host::Restarts().empty());
    // What the next start needs stays: the resume entry, the settings and the journal.
    EXPECT_TRUE(RunOnce());
    EXPECT_EQ(Config(), kSettings);
    ASSERT_TRUE(Journal());
    EXPECT_NE(Journal()->find("enablefailed=1"), npos) << *Journal();
    EXPECT_NE(world.box.LogBytes().find("SetupDiCallClassInstaller"), npos);
    const nlohmann::json outcome = LastRunOutcome(world.box);
    EXPECT_EQ(outcome["exitCode"], 10);
    EXPECT_EQ(outcome["meaning"],
              "the display driver could not be enabled again: the next start tries again");

    // The enable works again: the logon's entry enables, finishes the cycle and programs nothing.
    world.box.UseMachine(MachineWithDisplay(R"("enable": "works")"));
    tagUpdaterRun resumed = world.box.RestartAndLogon();
    EXPECT_NE(resumed.console.find("it is enabled now"), npos) << resumed.console;
    EXPECT_NE(resumed.console.find("The update of the previous run is complete"), npos);
    EXPECT_EQ(resumed.console.find("Execution time"), npos);
    // The import runs at once: the suite waits for no logon.
    EXPECT_EQ(ChildWords(),
              (Words{"driverfiles", "/export", "disable", "enable", "enable", "/import"}));
    EXPECT_TRUE(DisplayEnabled());
    EXPECT_FALSE(RunOnce());
    EXPECT_FALSE(Config());
    EXPECT_FALSE(Journal());
    ASSERT_FALSE(sim::host::SuiteImports().empty());
    EXPECT_EQ(sim::host::SuiteImports().back().bytes, kSettings);
}

TEST(Cycle, AToolCommandThatNeverEndsIsEndedAtItsLimitAndFailsTheRun) {
    struct Case {
        const char* hang;
        Words words;
        const char* said;
        bool enabledAfter;
    };
    const Case cases[] = {
        {"driverfiles", {"driverfiles"}, "could not be queried (exit code 42)", true},
        {"disable",
         {"driverfiles", "/export", "disable", "enable"},
         "could not be disabled (exit code 42)",
         true},
        {"enable",
         {"driverfiles", "/export", "disable", "enable"},
         "could not be enabled again (exit code 42)",
         false},
    };
    for (const Case& c : cases) {
        // Ten times faster: the limit passes in 6 s, far more than a command that ends needs.
        CycleBox world(
            MachineWithDisplay("\"hang\": \"" + std::string(c.hang) + "\"", "\"timeScale\": 10, "));
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
        EXPECT_EQ(run.exitCode, 10) << c.hang << ": " << run.console;
        EXPECT_NE(run.console.find(c.said), npos) << c.hang << ": " << run.console;
        EXPECT_EQ(ChildWords(), c.words) << c.hang;
        EXPECT_EQ(DisplayEnabled(), c.enabledAfter) << c.hang;
        EXPECT_NE(world.box.LogBytes().find("did not end within 60 seconds: it was ended."), npos)
            << c.hang << ": " << world.box.LogBytes();
        EXPECT_TRUE(sim::host::Restarts().empty()) << c.hang;
    }
}

namespace {

// The last percentage of the progress line, -1 before it shows.
int Progress(const std::string& console) {
    const std::size_t line = console.find("Programming the FPGA:");
    if (line == npos) return -1;
    const std::size_t percent = console.rfind('%');
    if (percent == npos || percent < line + 3) return -1;
    return std::atoi(console.substr(percent - 2, 2).c_str());
}

}  // namespace

TEST(Cycle, CtrlCWhileTheCardsAreProgrammedStopsThePlaysBeforeTheDriverComesBack) {
    // The machine holds the register writes midway through the plays until the stop is requested,
    // so the interruption lands while both cards are being programmed however busy the machine is.
    // (The listing's version reads and the calibration take about half a million pin writes, the
    // demo image's plays some fifteen million.) The plays see the stop between commands and every
    // 512 bytes inside one, so they stop well within the handler's wait even under
    // ThreadSanitizer and with the clock five times faster.
    CycleBox world(Machine("atOnce", "", "\"stallWritesAfter\": 3000000"));
    world.box.WriteFile("image.xsvf", SampleImage());
    const std::filesystem::path stalled = world.box.StateDirectory() / "writes-stalled";
    int progressAtStop = -1;
    tagUpdaterRun run = world.box.RunAndInterruptWhen({"-q", "-b", "-f", "image.xsvf"},
                                                      [&](const std::string& out) {
                                                          if (!std::filesystem::exists(stalled))
                                                              return false;
                                                          progressAtStop = Progress(out);
                                                          return progressAtStop >= 1;
                                                      });
    ASSERT_TRUE(run.interruptedWhenReady) << run.console;
    EXPECT_LE(progressAtStop, 99) << run.console;
    // The progress line stops where the plays were stopped; it never shows them finished.
    EXPECT_EQ(run.console.find("100%"), npos) << run.console;
    EXPECT_EQ(run.exitCode, 1) << run.console;
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_TRUE(DisplayEnabled());
    // The simulated machine writes down every register write made after the enable started.
    const std::filesystem::path late = world.box.StateDirectory() / "writes-after-enable";
    EXPECT_FALSE(std::filesystem::exists(late)) << ReadFileBytes(late).substr(0, 2000);
    ASSERT_TRUE(Journal());
    EXPECT_NE(Journal()->find("cut=0300,0400;"), npos) << *Journal();
    EXPECT_FALSE(RunOnce());

    // The next start with the image programs the cut cards again.
    tagUpdaterRun next = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(next.exitCode, 0) << next.console;
    EXPECT_NE(
        next.console.find("The previous run was stopped while it programmed the cards at PCIe "
                          "Bus 0300,0400: they are programmed again."),
        npos)
        << next.console;
    EXPECT_NE(next.console.find("Execution time = "), npos);
    const std::string journal = Journal().value_or("");
    EXPECT_EQ(journal.find("cut="), npos) << journal;
}

TEST(Cycle, CtrlCWhileTheCardsAreListedEndsTheListingBeforeTheDriverComesBack) {
    // The listing opens, calibrates and reads each card with the display driver disabled. The
    // machine holds its register writes early on the first card until the stop is requested, so
    // the interruption lands inside the listing however busy the machine is.
    CycleBox world(Machine("atOnce", "", "\"stallWritesAfter\": 1000"));
    world.box.WriteFile("image.xsvf", DemoImage());
    const std::filesystem::path stalled = world.box.StateDirectory() / "writes-stalled";
    tagUpdaterRun run = world.box.RunAndInterruptWhen(
        {"-q", "-b", "-f", "image.xsvf"},
        [&](const std::string&) { return std::filesystem::exists(stalled); });
    ASSERT_TRUE(run.interruptedWhenReady) << run.console;
    EXPECT_EQ(run.exitCode, 1) << run.console;
    // It stopped within the first card's calibration: no version was read after the request.
    EXPECT_EQ(run.console.find("FPGA version:"), npos) << run.console;
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_TRUE(DisplayEnabled());
    const std::filesystem::path late = world.box.StateDirectory() / "writes-after-enable";
    EXPECT_FALSE(std::filesystem::exists(late)) << ReadFileBytes(late).substr(0, 2000);
    EXPECT_FALSE(RunOnce());
}

TEST(Cycle, PlaysThatDoNotStopAfterCtrlCLeaveTheDisplayDriverDisabledForTheNextStart) {
    // A register write that never returns (a card that hangs the bus): the plays cannot see the
    // stop, and the handler gives up after its ten seconds on the process clock.
    CycleBox world(
        Machine("atOnce", "", "\"stallWritesAfter\": 3000000, \"stallUntil\": \"exit\""));
    world.box.WriteFile("image.xsvf", SampleImage());
    const std::filesystem::path stalled = world.box.StateDirectory() / "writes-stalled";
    tagUpdaterRun run = world.box.RunAndInterruptWhen(
        {"-q", "-b", "-f", "image.xsvf"}, [&](const std::string& out) {
            return std::filesystem::exists(stalled) && Progress(out) >= 1;
        });
    ASSERT_TRUE(run.interruptedWhenReady) << run.console;
    EXPECT_EQ(run.exitCode, 1) << run.console;
    EXPECT_NE(
        run.console.find("The cards' plays did not stop within 10 seconds: the display driver "
                         "stays disabled"),
        npos)
        << run.console;
    // No enable was started under the plays, so no register write followed one.
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable"}));
    EXPECT_FALSE(DisplayEnabled());
    EXPECT_FALSE(std::filesystem::exists(world.box.StateDirectory() / "writes-after-enable"));
    // The journal still says disabled and names the cut cards, and the repair entry stays for
    // the next logon.
    ASSERT_TRUE(Journal());
    EXPECT_NE(Journal()->find("cut=0300,0400;"), npos) << *Journal();
    EXPECT_TRUE(RepairEntry()) << RunOnceNames().size() << " run-once values";

    // The next start (the hold is one process's) brings the driver back and programs the cards.
    tagUpdaterRun next = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(next.exitCode, 0) << next.console;
    EXPECT_TRUE(DisplayEnabled());
    EXPECT_NE(next.console.find("they are programmed again"), npos) << next.console;
}
