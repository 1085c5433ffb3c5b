// The log of the elevated run against its operator: the environment re-pointing it and links at
// any level below the profile; the run programs the cards either way.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

namespace fs = std::filesystem;

fs::path LocalFolder(const UpdaterSandbox& box) {
    return box.StateDirectory() / "Users" / "User" / "AppData" / "Local";
}

}  // namespace

TEST(LogPlace, LocalAppDataFromTheEnvironmentIsNotWhereTheLogGoes) {
    UpdaterSandbox box;
    const fs::path system = box.Root() / "System32";
    fs::create_directories(system);
    box.SetEnvironment("LOCALAPPDATA", system.string());
    box.WriteFile("demo.xsvf", DemoImage());
    const tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 0) << run.console;
    EXPECT_TRUE(fs::is_empty(system)) << fs::begin(fs::directory_iterator(system))->path();
    EXPECT_NE(box.LogBytes().find("Execution time = "), std::string::npos) << box.LogBytes();
}

// Each level a link to a folder the run must not write in: nothing is created or written there,
// the console says once why there is no log, and the cards are programmed as usual.
TEST(LogPlace, ALinkAtAnyLevelBelowTheProfileIsNotFollowed) {
    for (const char* level : {"AppData", "AppData/Local", "AppData/Local/Orvane",
                              "AppData/Local/Orvane/OvnK740FpgaUpdater"}) {
        UpdaterSandbox box;
        const fs::path system = box.Root() / "System32";
        fs::create_directories(system);
        const fs::path link = box.StateDirectory() / "Users" / "User" / level;
        fs::create_directories(link.parent_path());
        fs::create_directory_symlink(system, link);
        box.WriteFile("demo.xsvf", DemoImage());
        const tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
        EXPECT_EQ(run.exitCode, 0) << level << "\n" << run.console;
        const std::string said =
            "   The log file OvnK740FpgaUpdater.log is not written: the folder " + link.string() +
            " is a symbolic link.\n";
        const std::size_t at = run.console.find(said);
        EXPECT_NE(at, std::string::npos) << level << "\n" << run.console;
        EXPECT_EQ(run.console.find("   The log file ", at + 1), std::string::npos) << run.console;
        EXPECT_NE(run.console.find("Execution time = "), std::string::npos) << run.console;
        EXPECT_TRUE(fs::is_empty(system)) << level;
        EXPECT_FALSE(fs::exists(LocalFolder(box) / "Orvane" / "OvnK740FpgaUpdater" /
                                "OvnK740FpgaUpdater.log"))
            << level;
    }
}
