// Whole restart cycles of the host edition: several runs with simulated restarts and logons.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/text_encoding.h"
#include "sim/host_records.h"
#include "sim/host_registry.h"
#include "sim/host_restart.h"
#include "sim/host_state.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

using sim::host::RegistryView;

constexpr const wchar_t* kRunOnceKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kUtilityKey = L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater";
constexpr const wchar_t* kCoreEvent = L"Global\\OvnPluxCoreCloseEvent_1";
constexpr const char* kDisableRestartText =
    "\n\n   For the display driver to be disabled, your system must be restarted.\n"
    "   Your system and OvnK740FPGAUpdater will be restarted now.\n";

// The settings: odd length, a percent sign and a zero 16-bit unit, so every byte must survive.
const std::string kSettings("%PX\0\0cfg\xff", 9);

std::string Hex(const std::string& bytes) { return sim::host::HexOf(bytes); }

std::string DisplayDriver(const std::string& disable) {
    return R"({"driver": {"infPath": "C:\\Windows\\INF\\oem12.inf", "infSection": "K740",
               "files": ["C:\\Windows\\System32\\DriverStore\\k740disp.sys"]},
               "disable": ")" +
           disable + "\"}";
}

std::string Machine(const std::string& disable, const std::string& suite = "") {
    std::vector<tagTestCard> cards = DefaultCards();
    if (!disable.empty())
        for (tagTestCard& card : cards) card.display = DisplayDriver(disable);
    const std::string suiteMember =
        suite.empty() ? "\"suite\": {\"settingsHex\": \"" + Hex(kSettings) + "\"}" : suite;
    return MachineJson(cards, true, suiteMember);
}

// A sandbox with the suite installed and its core running in session 1; the test process reads the
// sandbox's simulated host.
struct CycleBox {
    explicit CycleBox(const std::string& machine) {
        setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
        box.UseMachine(machine);
        box.InstallSuite();
        StartCore();
    }
    void StartCore() {
        sim::host::CreateNamedEvent(kCoreEvent);
        sim::host::AddProcess(L"Orvane.Plux.Core.exe", 1);
    }
    UpdaterSandbox box;
};

// The resume entry and the import entry; each is deleted by the logon after it has run.
std::optional<std::wstring> RunOnce() {
    return sim::host::RegistryGetString(RegistryView::k32, kRunOnceKey, L"!OvnK740FpgaUpdater");
}
std::optional<std::wstring> ImportEntry() {
    return sim::host::RegistryGetString(RegistryView::k32, kRunOnceKey,
                                        L"!OvnK740FpgaUpdaterImport");
}

std::optional<std::string> Config() {
    auto value = sim::host::RegistryGetValue(RegistryView::k32, kUtilityKey, L"Config");
    if (!value) return std::nullopt;
    EXPECT_EQ(value->type, sim::host::kRegSz);
    return std::string(value->data.begin(), value->data.end());
}

// The command words the utility gave its children, in order: "driverfiles", "/export", ...
std::vector<std::string> ChildWords() {
    std::vector<std::string> words;
    for (const std::wstring& line : sim::host::ChildCommands()) {
        for (const char* word : {"driverfiles", "disable", "enable", "/export", "/import"}) {
            if (WideToUtf8(line).find(std::string(" ") + word + " ") != std::string::npos)
                words.push_back(word);
        }
    }
    return words;
}

bool CoreRuns() {
    for (const auto& process : sim::host::Processes())
        if (process.name == L"Orvane.Plux.Core.exe") return true;
    return false;
}

using Words = std::vector<std::string>;

}  // namespace

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
    const std::wstring settingsFile = Utf8ToWide((world.box.Root() / "tmp" / "pxcfg.txt").string());
    EXPECT_EQ(ImportEntry(), L"\"" + Utf8ToWide((world.box.Root() / "pf").string()) +
                                 L"/Orvane Graphics/Panelux/Orvane.PluxCmd.exe\" /import " +
                                 settingsFile);
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
    const std::wstring dir = Utf8ToWide(world.box.ProgramDirectory().string()) + L"/";

    tagUpdaterRun first = world.box.Run({"-b", "-f", "image.xsvf"}, "y");
    EXPECT_EQ(first.exitCode, 0) << first.console;
    EXPECT_NE(first.console.find(kDisableRestartText), std::string::npos);
    EXPECT_EQ(first.console.find("WARNING"), std::string::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable"}));
    EXPECT_EQ(RunOnce(), dir + L"OvnK740FpgaUpdater -b -f " + dir + L"image.xsvf");
    EXPECT_EQ(Config(), kSettings);
    EXPECT_EQ(sim::host::Restarts().size(), 1u);

    // The settings file must come back from "Config", not from what the first run left.
    std::filesystem::remove(world.box.Root() / "tmp" / "pxcfg.txt");
    world.StartCore();  // the suite starts again at the logon
    tagUpdaterRun resumed = world.box.RestartAndLogon("y");
    EXPECT_NE(resumed.console.find("   XSVF update file: " + WideToUtf8(dir) + "image.xsvf"),
              std::string::npos)
        << resumed.console;
    EXPECT_NE(resumed.console.find("100%"), std::string::npos);
    EXPECT_EQ(ChildWords(),
              (Words{"driverfiles", "/export", "disable", "driverfiles", "disable", "enable"}));
    EXPECT_EQ(sim::host::SuiteExports().size(), 1u);
    EXPECT_FALSE(Config());
    EXPECT_EQ(sim::host::Restarts().size(), 2u);
    EXPECT_EQ(ReadFileBytes(world.box.Root() / "tmp" / "pxcfg.txt"), kSettings);
    EXPECT_FALSE(RunOnce());
    ASSERT_TRUE(ImportEntry());
    EXPECT_NE(ImportEntry()->find(L"Orvane.PluxCmd.exe\" /import "), std::wstring::npos);

    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
    EXPECT_EQ(sim::host::Logons(), 2u);
}

TEST(Cycle, DecliningTheRestartEnablesAndWritesNothing) {
    CycleBox world(Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-b", "-f", "image.xsvf"}, "n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.console.find("   Update aborted.\n\n"), std::string::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_FALSE(RunOnce());
    EXPECT_FALSE(Config());
    EXPECT_TRUE(sim::host::Restarts().empty());
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
    EXPECT_FALSE(ImportEntry());
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
        EXPECT_FALSE(RunOnce());
        EXPECT_FALSE(ImportEntry());
        EXPECT_TRUE(sim::host::Restarts().empty());
    }
}

TEST(Cycle, AFullPathStartIsResumedByTheSameCommandLine) {
    {
        CycleBox world(Machine("afterRestart"));
        world.box.WriteFile("image.xsvf", DemoImage());
        ASSERT_EQ(world.box.Run({"-q", "-f", "image.xsvf"}).exitCode, 0);
        // Started with its full path: the command line as it was.
        EXPECT_EQ(RunOnce(), Utf8ToWide(std::string(OVN_UPDATER_PATH) + " -q -f image.xsvf"));
    }
}

TEST(Cycle, AProgramDirectoryWithABlankIsQuotedAndTheResumedRunGetsTheSameArguments) {
    {
        CycleBox world(Machine("afterRestart"));
        world.box.InstallProgram("Program Files/Orvane", true);
        world.box.WriteFile("Program Files/Orvane/image.xsvf", DemoImage());
        ASSERT_EQ(world.box.Run({"-q", "-b", "-f", "image.xsvf"}).exitCode, 0);
        const std::string dir = world.box.ProgramDirectory().string() + "/";
        EXPECT_EQ(RunOnce(), Utf8ToWide("\"" + dir + "OvnK740FpgaUpdater\" -q -b -f \"" + dir +
                                        "image.xsvf\""));
        tagUpdaterRun resumed = world.box.RestartAndLogon();
        EXPECT_NE(resumed.console.find("   XSVF update file: " + dir + "image.xsvf\n"),
                  std::string::npos)
            << resumed.console;
        EXPECT_NE(resumed.console.find("100%"), std::string::npos);
        EXPECT_EQ(sim::host::Restarts().size(), 2u);
    }
}

TEST(Cycle, AResumedRunWhoseImageIsGoneBringsTheDriverAndSettingsBackWithoutARestart) {
    CycleBox world(Machine("afterRestart"));
    const auto image = world.box.WriteFile("image.xsvf", DemoImage());
    ASSERT_EQ(world.box.Run({"-q", "-f", image.string()}).exitCode, 0);
    std::filesystem::remove(image);
    std::filesystem::remove(world.box.Root() / "tmp" / "pxcfg.txt");

    tagUpdaterRun resumed = world.box.RestartAndLogon();
    EXPECT_NE(resumed.console.find("Error: Unable to open file " + image.string()),
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

TEST(Cycle, ATemporaryDirectoryThatTakesNoToolStopsTheRunBeforeProgramming) {
    CycleBox world(Machine("atOnce"));
    world.box.SetEnvironment("TMPDIR", (world.box.Root() / "missing").string());
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 9);
    EXPECT_NE(run.console.find("   Error: The device console tool could not be written to the "
                               "temporary directory.\n   The display driver cannot be switched "
                               "off safely: no card will be programmed.\n"),
              std::string::npos)
        << run.console;
    EXPECT_EQ(run.console.find("Execution time"), std::string::npos);
    EXPECT_NE(run.console.find("FPGA version: 1.2.7"), std::string::npos);
    EXPECT_TRUE(ChildWords().empty());
    EXPECT_TRUE(sim::host::Restarts().empty());
    EXPECT_NE(world.box.LogBytes().find("could not be written"), std::string::npos);
}
