// Whole runs that end early or oddly: each leaves a result whose kind agrees with its exit code,
// and none leaves an earlier run's success behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json LastRun(const UpdaterSandbox& box) {
    const json result =
        json::parse(ReadFileBytes(box.WorkingFolder() / "last-run.json"), nullptr, false);
    EXPECT_TRUE(result.is_object()) << "no last-run.json in " << box.WorkingFolder();
    return result.is_object() ? result : json::object();
}

std::set<std::string> DatedCopies(const UpdaterSandbox& box) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(box.WorkingFolder())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("run-", 0) == 0) names.insert(name);
    }
    return names;
}

// A successful update first, so that every later run must replace its "success".
void StartFromASuccess(UpdaterSandbox& box) {
    box.WriteFile("demo.xsvf", DemoImage());
    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    ASSERT_EQ(run.exitCode, 0) << run.console;
    ASSERT_EQ(LastRun(box)["outcome"]["kind"], "updated");
}

void ExpectOutcome(const UpdaterSandbox& box, const tagUpdaterRun& run, int exitCode,
                   const std::string& kind) {
    EXPECT_EQ(run.exitCode, exitCode) << run.console;
    const json result = LastRun(box);
    EXPECT_EQ(result["outcome"]["exitCode"], exitCode) << result.dump(2);
    EXPECT_EQ(result["outcome"]["kind"], kind) << result.dump(2);
}

TEST(OutcomeRun, OptionErrorsEndWithTwelveAndReplaceTheLastResult) {
    UpdaterSandbox box;
    StartFromASuccess(box);
    const std::string success = ReadFileBytes(box.WorkingFolder() / "last-run.json");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--silent"}, {"-q", "--flash=demo.xsvf"}, {"-q", "-f"}}) {
        tagUpdaterRun run = box.Run(args);
        ExpectOutcome(box, run, 12, "usageError");
        EXPECT_EQ(run.console.find("Orvane K740"), std::string::npos) << "no banner";
        EXPECT_NE(run.console.find("For more information, see the help file [-h]."),
                  std::string::npos);
    }
    // The success went to its dated name whole; help writes nothing.
    bool kept = false;
    for (const std::string& name : DatedCopies(box))
        kept = kept || ReadFileBytes(box.WorkingFolder() / name) == success;
    EXPECT_TRUE(kept);
    const std::string before = ReadFileBytes(box.WorkingFolder() / "last-run.json");
    EXPECT_EQ(box.Run({"-h"}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(box.WorkingFolder() / "last-run.json"), before);
}

// No card, no library, a driver the system refuses, an empty image and Ctrl+C: each says what it
// was in its own result, after a success that must not stay.
TEST(OutcomeRun, EveryEarlyEndWritesItsOwnResult) {
    UpdaterSandbox box;
    StartFromASuccess(box);

    box.UseMachine(MachineJson({}));
    ExpectOutcome(box, box.Run({"-q", "-f", "demo.xsvf"}), 1, "noCard");

    box.UseMachine(MachineJson(DefaultCards(), false));
    ExpectOutcome(box, box.Run({"-q"}), 1, "noLibrary");

    box.UseMachine(R"({"driverFault": {"call": "StartServiceW", "code": 577}})");
    ExpectOutcome(box, box.Run({"-q", "-f", "demo.xsvf"}), 1, "noLibrary");

    box.UseMachine(MachineJson(DefaultCards()));
    box.WriteFile("empty.xsvf", "");
    ExpectOutcome(box, box.Run({"-q", "-f", "empty.xsvf"}), 0, "listed");
    const std::string meaning = LastRun(box)["outcome"]["meaning"];
    EXPECT_NE(meaning.find("nothing was programmed"), std::string::npos) << meaning;
    EXPECT_NE(meaning.find("empty"), std::string::npos) << meaning;
    EXPECT_EQ(meaning.find("success"), std::string::npos) << meaning;

    box.HoldInputOpen(true);
    tagUpdaterRun interrupted =
        box.RunAndInterrupt({"-b", "-f", "demo.xsvf"}, "Press 'y' to continue");
    ASSERT_TRUE(interrupted.interruptedWhenReady) << interrupted.console;
    ExpectOutcome(box, interrupted, 1, "interrupted");
    // What the interrupted run had listed is in its result.
    EXPECT_EQ(LastRun(box)["cards"].size(), 2u);
}

// A name that is not UTF-8 no longer stops the run after programming: the result keeps it escaped
// and the run keeps its exit code.
TEST(OutcomeRun, ANameThatIsNotUtf8IsKeptEscapedAndTheRunKeepsItsOutcome) {
    UpdaterSandbox box;
    const std::string name = "demo\xFF\xFE\\1.xsvf";
    box.WriteFile(name, DemoImage());
    tagUpdaterRun run = box.Run({"-q", "-b", "-f", name});
    ExpectOutcome(box, run, 0, "updated");
    const json image = LastRun(box)["commandLine"]["image"];
    EXPECT_EQ(image["name"], "demo\\xFF\\xFE\\\\1.xsvf");
    EXPECT_EQ(image["nameEscaped"], true);
    EXPECT_EQ(LastRun(box)["cards"][1]["versionAfter"], "1.4.2");
}

}  // namespace
