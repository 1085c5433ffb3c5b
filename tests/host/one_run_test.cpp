// One run at a time, listings that leave a pending cycle alone, and the --noreboot two-step.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "simhost/host_registry.h"
#include "simhost/host_restart.h"
#include "simhost/host_state.h"
#include "simhost/host_store.h"
#include "tests/host/cycle_world.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

using namespace cycle;

namespace {

namespace fs = std::filesystem;

constexpr const char* kBusyText =
    "   Error: Another OvnK740FpgaUpdater run is in progress on this computer.\n"
    "   Nothing was listed, programmed or changed: wait until it has ended, then start again.\n";

// The simulated host as a listing must leave it: everything but the power setting the run raises
// and puts back and the process-wide flags it sets (those record the run itself).
nlohmann::json MachineAsLeft() {
    nlohmann::json state = sim::host::Load();
    for (const char* own : {"power", "executionState", "priorityClass"}) state.erase(own);
    return state;
}

std::wstring Journal() {
    return sim::host::RegistryGetString(RegistryView::k32, kUtilityKey, L"Journal").value_or(L"");
}

// A listing with the cycle in the state it is in now: it says so and changes nothing.
void ExpectListingLeavesTheCycle(CycleBox& world, const std::string& phaseName,
                                 const std::string& what) {
    SCOPED_TRACE(what);
    const nlohmann::json before = MachineAsLeft();
    const std::string carriedBefore =
        ReadFileBytes(world.box.WorkingFolder() / "cycle-in-progress.json");
    tagUpdaterRun listing = world.box.Run({"-q"});
    EXPECT_EQ(listing.exitCode, 1) << listing.console;  // no file named: a listing
    EXPECT_NE(listing.console.find("   Found 2 Orvane K740 graphics cards:"), std::string::npos);
    EXPECT_NE(listing.console.find("   A display-driver update is pending: "), std::string::npos)
        << listing.console;
    EXPECT_NE(listing.console.find("This listing leaves it as it is."), std::string::npos);
    EXPECT_EQ(listing.console.find("No usable XSVF file"), std::string::npos) << listing.console;
    const nlohmann::json after = MachineAsLeft();
    EXPECT_EQ(before.dump(1), after.dump(1));
    EXPECT_EQ(ReadFileBytes(world.box.WorkingFolder() / "cycle-in-progress.json"), carriedBefore);
    const nlohmann::json result = nlohmann::json::parse(
        ReadFileBytes(world.box.WorkingFolder() / "last-run.json"), nullptr, false);
    ASSERT_TRUE(result.is_object()) << "no result of the listing";
    EXPECT_EQ(result["kind"], "inventory");
    EXPECT_EQ(result["cycle"]["pending"]["phase"], phaseName) << result.dump(1);
}

}  // namespace

TEST(OneRun, AListingLeavesEveryPendingCycleAsItIs) {
    {
        CycleBox world(Machine("afterRestart"));
        world.box.WriteFile("image.xsvf", DemoImage());
        ASSERT_EQ(world.box.Run({"-n", "-q", "-b", "-f", "image.xsvf"}).exitCode, 3);
        ExpectListingLeavesTheCycle(world, "disablePending", "--noreboot, disable pending");
        // Cut off with the driver off: only a start with the image or a logon entry takes it up.
        const std::wstring pending = Journal();
        sim::host::RegistrySetString(RegistryView::k32, kUtilityKey, L"Journal",
                                     L"phase=4" + pending.substr(pending.find(L';')));
        ExpectListingLeavesTheCycle(world, "disabled", "cut off with the driver disabled");
    }
    {
        CycleBox world(Machine("afterRestart"));
        world.box.WriteFile("image.xsvf", DemoImage());
        ASSERT_EQ(world.box.Run({"-b", "-f", "image.xsvf"}, "y").exitCode, 0);
        ASSERT_TRUE(RunOnce());
        ExpectListingLeavesTheCycle(world, "disablePending", "the restart for disabling asked for");
        // The resume at the logon still finds everything it needs.
        tagUpdaterRun resumed = world.box.RestartAndLogon("y");
        EXPECT_NE(resumed.console.find("100%"), std::string::npos) << resumed.console;
    }
    {
        CycleBox world(Machine("atOnce"));
        world.box.WriteFile("image.xsvf", DemoImage());
        ASSERT_EQ(world.box.Run({"-q", "-b", "-f", "image.xsvf"}).exitCode, 0);
        ASSERT_TRUE(ImportEntry());
        ExpectListingLeavesTheCycle(world, "importRegistered", "the import waits for the logon");
        world.box.RestartAndLogon();
        EXPECT_EQ(sim::host::SuiteImports().size(), 1u);
    }
}

TEST(OneRun, NoRebootRerunBeforeTheRestartChangesNothingAndAfterItFinishesFromAnyFolder) {
    CycleBox world(Machine("afterRestart"));
    fs::create_directories(world.box.Root() / "one");
    fs::create_directories(world.box.Root() / "two");
    world.box.WriteFile("one/image.xsvf", DemoImage());
    world.box.WriteFile("two/image.xsvf", DemoImage());
    const std::vector<std::string> command{"-n", "-q", "-b", "-f", "image.xsvf"};

    world.box.StartAs(OVN_UPDATER_PATH, world.box.Root() / "one");
    tagUpdaterRun first = world.box.Run(command);
    ASSERT_EQ(first.exitCode, 3) << first.console;
    EXPECT_NE(first.console.find("\n\n   For the display driver to be disabled, your system must "
                                 "be restarted.\n"),
              std::string::npos)
        << first.console;

    // The caller runs the same command again, from elsewhere, before restarting.
    world.box.StartAs(OVN_UPDATER_PATH, world.box.Root() / "two");
    const nlohmann::json before = MachineAsLeft();
    tagUpdaterRun early = world.box.Run(command);
    EXPECT_EQ(early.exitCode, 3) << early.console;
    EXPECT_NE(early.console.find("the computer has not been restarted since"), std::string::npos)
        << early.console;
    EXPECT_EQ(early.console.find("after the restart made for it"), std::string::npos);
    EXPECT_EQ(before.dump(1), MachineAsLeft().dump(1));
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable"}));
    const nlohmann::json result = nlohmann::json::parse(
        ReadFileBytes(world.box.WorkingFolder() / "last-run.json"), nullptr, false);
    EXPECT_EQ(result["restart"]["pending"], true) << result.dump(1);

    sim::host::SimulateRestart();
    tagUpdaterRun after = world.box.Run(command);
    EXPECT_EQ(after.exitCode, 4) << after.console;
    EXPECT_NE(after.console.find("Execution time = "), std::string::npos);
    EXPECT_EQ(ChildWords(),
              (Words{"driverfiles", "/export", "disable", "driverfiles", "disable", "enable"}));
    EXPECT_FALSE(Config());
    // The settings exported for this cycle come back at the next logon.
    EXPECT_TRUE(ImportEntry());
    EXPECT_EQ(Journal().rfind(L"phase=6;", 0), 0u) << Journal();
}

TEST(OneRun, ASecondStartWhileARunWaitsAtItsPromptIsRefusedAndChangesNothing) {
    CycleBox world(Machine("atOnce"));
    world.box.WriteFile("image.xsvf", DemoImage());
    world.box.HoldInputOpen(true);
    tagUpdaterRun update, listing, help, usage;
    nlohmann::json before, after;
    std::wstring journalBefore;
    tagUpdaterRun first = world.box.RunAndInterruptWhen(
        {"-b", "-f", "image.xsvf"},
        [](const std::string& out) {
            return out.find("Press 'y' to continue") != std::string::npos;
        },
        "",
        [&] {
            world.box.HoldInputOpen(false);
            before = MachineAsLeft();
            journalBefore = Journal();
            update = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
            listing = world.box.Run({"-q"});
            help = world.box.Run({"-h"});
            usage = world.box.Run({"--silent"});
            after = MachineAsLeft();
        });
    ASSERT_TRUE(first.interruptedWhenReady) << first.console;
    EXPECT_EQ(update.exitCode, 11) << update.console;
    EXPECT_NE(update.console.find(kBusyText), std::string::npos) << update.console;
    EXPECT_EQ(update.console.find("Found"), std::string::npos);
    EXPECT_EQ(listing.exitCode, 11) << listing.console;
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.console.find("OvnK740FpgaUpdater command line options:"), std::string::npos);
    EXPECT_EQ(usage.exitCode, 12) << usage.console;
    // Neither the journal of the first run nor anything else of the machine moved; the power
    // setting stays raised for the run that raised it.
    EXPECT_EQ(before.dump(1), after.dump(1));
    EXPECT_NE(journalBefore.find(L"phase=4;"), std::wstring::npos) << journalBefore;
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_NE(world.box.LogBytes().find("Another OvnK740FpgaUpdater run is in progress"),
              std::string::npos);

    // Each refused start, and the option error, left a dated result of its own; last-run.json is
    // not theirs to write.
    int busy = 0, usageErrors = 0;
    for (const auto& entry : fs::directory_iterator(world.box.WorkingFolder())) {
        if (entry.path().filename() == "last-run.json") continue;
        const nlohmann::json copy =
            nlohmann::json::parse(ReadFileBytes(entry.path()), nullptr, false);
        if (!copy.is_object()) continue;
        if (copy["outcome"]["kind"] == "usageError") {
            ++usageErrors;
            EXPECT_EQ(copy["outcome"]["exitCode"], 12);
        }
        if (copy["outcome"]["kind"] != "alreadyRunning") continue;
        ++busy;
        EXPECT_EQ(copy["outcome"]["exitCode"], 11);
        EXPECT_EQ(copy["outcome"]["lock"], "busy");
        EXPECT_EQ(entry.path().filename().string().rfind("run-", 0), 0u) << entry.path();
    }
    EXPECT_EQ(busy, 2);
    EXPECT_EQ(usageErrors, 1);
    // last-run.json is the interrupted first run's, written as it ended.
    const nlohmann::json last = nlohmann::json::parse(
        ReadFileBytes(world.box.WorkingFolder() / "last-run.json"), nullptr, false);
    ASSERT_TRUE(last.is_object()) << "no last-run.json";
    EXPECT_EQ(last["outcome"]["kind"], "interrupted") << last.dump(2);
    EXPECT_EQ(last["outcome"]["exitCode"], first.exitCode);

    // With the first run gone, its lock is gone with it.
    tagUpdaterRun next = world.box.Run({"-q"});
    EXPECT_EQ(next.exitCode, 1) << next.console;
    EXPECT_NE(next.console.find("   Found 2 Orvane K740 graphics cards:"), std::string::npos);
}

TEST(OneRun, ALockFileOthersCouldHoldIsASquatAndRefusedWithItsOwnMessage) {
    CycleBox world(Machine(""));
    const fs::path lock = world.box.StateDirectory() / "OvnK740FpgaUpdaterRun.lock";
    fs::create_directories(lock.parent_path());
    std::ofstream(lock).put('x');
    ASSERT_TRUE(fs::exists(lock)) << lock;
    fs::permissions(lock, fs::perms::group_write | fs::perms::others_write, fs::perm_options::add);
    tagUpdaterRun run = world.box.Run({"-q"});
    EXPECT_EQ(run.exitCode, 11);
    EXPECT_NE(run.console.find("   Error: The lock Global\\OvnK740FpgaUpdaterRun was created by a "
                               "program without administrator rights.\n"),
              std::string::npos)
        << run.console;
    EXPECT_EQ(run.console.find("Found"), std::string::npos);
}
