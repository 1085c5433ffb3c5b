// Whole restart cycles of the host edition: several runs with simulated restarts and logons.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/text_encoding.h"
#include "simhost/host_records.h"
#include "simhost/host_registry.h"
#include "simhost/host_restart.h"
#include "simhost/host_state.h"
#include "tests/host/cycle_world.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

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

TEST(Cycle, DecliningTheRestartEnablesAndRegistersOnlyTheImport) {
    CycleBox world(Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-b", "-f", "image.xsvf"}, "n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.console.find("   Update aborted.\n\n"), std::string::npos);
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
    EXPECT_NE(run.console.find("\n\n   For the display driver to be enabled, your system must "
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
