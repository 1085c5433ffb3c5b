// Plays every scenario of docs/deployment.md on the simulated machine and holds the page's table
// (exit code, outcome.kind, detection verdict) and its detection script to what the runs produce.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/posix_descriptor.h"
#include "simhost/host_restart.h"
#include "tests/host/cycle_world.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string Page() { return ReadFileBytes(fs::path(OVN_SOURCE_DIR) / "docs" / "deployment.md"); }

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string WithoutBackticks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '`'), text.end());
    return text;
}

std::vector<std::string> LinesAfterMarker(const std::string& page, const std::string& marker) {
    std::vector<std::string> lines;
    const auto at = page.find(marker);
    if (at == std::string::npos) return lines;
    std::istringstream rest(page.substr(at + marker.size()));
    for (std::string line; std::getline(rest, line);) lines.push_back(line);
    return lines;
}

// One row of the page's scenario table.
struct tagPromise {
    std::string command;  // the first code span of the second column when it is an option list
    int exitCode = -1;
    std::string kind;
    std::string detected;  // "yes", "no" or "as before"
};

std::map<std::string, tagPromise> Promises() {
    std::map<std::string, tagPromise> rows;
    bool inTable = false;
    for (const std::string& line : LinesAfterMarker(Page(), "<!-- deployment-scenarios -->")) {
        if (line.rfind("|", 0) != 0) {
            if (inTable) break;
            continue;
        }
        inTable = true;
        std::vector<std::string> cells;
        std::istringstream cellText(line.substr(1));
        for (std::string cell; std::getline(cellText, cell, '|');) cells.push_back(Trim(cell));
        if (cells.size() < 5 || cells[0] == "scenario" || cells[0].rfind("---", 0) == 0) continue;
        tagPromise row;
        if (cells[1].rfind("`-", 0) == 0)
            row.command = cells[1].substr(1, cells[1].find('`', 1) - 1);
        row.exitCode = std::stoi(cells[2]);
        row.kind = WithoutBackticks(cells[3]);
        row.detected = cells[4];
        rows[cells[0]] = row;
    }
    return rows;
}

std::vector<std::string> Words(const std::string& command) {
    std::vector<std::string> words;
    std::istringstream in(command);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// The detection script, line by line as the page shows it (blank lines and the purpose comment
// left out). DetectedLine below ports exactly these lines; the test fails when the page's script
// says anything else, so the port cannot fall behind it.
const std::vector<std::string> kPortedScript = {
    "$Expected = '1.4.2'",
    "$folder = [Environment]::GetFolderPath('CommonApplicationData')",
    "$file = Join-Path $folder 'Orvane\\OvnK740FpgaUpdater\\last-run.json'",
    "try { $run = Get-Content -LiteralPath $file -Raw -Encoding UTF8 -ErrorAction Stop | "
    "ConvertFrom-Json }",
    "catch { exit 0 }",
    "if ($run.formatVersion -ne 2) { exit 0 }",
    "$kind = $run.outcome.kind",
    "$cards = @($run.cards)",
    "if ($cards.Count -eq 0) { exit 0 }",
    "foreach ($card in $cards) {",
    "if ($kind -eq 'listed') { $version = $card.versionBefore }",
    "elseif ($kind -eq 'updated' -or $kind -eq 'restartPending') {",
    "if ($card.result -ne 0) { exit 0 }",
    "$version = $card.versionAfter",
    "}",
    "else { exit 0 }",
    "if ($version -ne $Expected) { exit 0 }",
    "}",
    "Write-Output \"K740 FPGA $Expected on $($cards.Count) card(s)\"",
    "exit 0",
};

std::vector<std::string> PageScript() {
    std::vector<std::string> script;
    bool inBlock = false;
    for (const std::string& line : LinesAfterMarker(Page(), "<!-- detection-script -->")) {
        if (!inBlock) {
            inBlock = line.rfind("```powershell", 0) == 0;
            continue;
        }
        if (line.rfind("```", 0) == 0) break;
        const std::string code = Trim(line);
        if (!code.empty() && code[0] != '#') script.push_back(code);
    }
    return script;
}

// The version the page's script expects, from its first line.
std::string ExpectedVersion() {
    const std::string first = kPortedScript.front();
    const auto open = first.find('\'');
    return first.substr(open + 1, first.rfind('\'') - open - 1);
}

// PowerShell's -eq and -ne on strings ignore letter case.
bool SameText(const json& value, const std::string& text) {
    if (!value.is_string()) return false;
    const std::string have = value.get<std::string>();
    return have.size() == text.size() &&
           std::equal(have.begin(), have.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The page's detection script ported to C++: returns what it writes (empty: not detected). Each
// step names the PowerShell line it mirrors.
std::string DetectedLine(const fs::path& workingFolder) {
    const std::string expected = ExpectedVersion();  // $Expected = '1.4.2'
    // $file = Join-Path $folder 'Orvane\OvnK740FpgaUpdater\last-run.json'
    const std::string text = ReadFileBytes(workingFolder / "last-run.json");
    // try { $run = Get-Content ... | ConvertFrom-Json } catch { exit 0 }
    const json run = json::parse(text, nullptr, false);
    if (text.empty() || run.is_discarded() || !run.is_object()) return "";
    // if ($run.formatVersion -ne 2) { exit 0 }
    if (!run.contains("formatVersion") || run["formatVersion"] != 2) return "";
    // $kind = $run.outcome.kind
    const json kind = run.contains("outcome") && run["outcome"].is_object()
                          ? run["outcome"].value("kind", json())
                          : json();
    // $cards = @($run.cards): a missing or null member makes a list of one $null, whose version
    // is $null and so never the expected one; an empty list stays empty.
    json cards = run.value("cards", json());
    if (!cards.is_array()) cards = json::array({json()});
    // if ($cards.Count -eq 0) { exit 0 }
    if (cards.empty()) return "";
    // foreach ($card in $cards) {
    for (const json& card : cards) {
        const auto member = [&card](const char* name) {
            return card.is_object() ? card.value(name, json()) : json();
        };
        json version;
        // if ($kind -eq 'listed') { $version = $card.versionBefore }
        if (SameText(kind, "listed")) {
            version = member("versionBefore");
            // elseif ($kind -eq 'updated' -or $kind -eq 'restartPending') {
        } else if (SameText(kind, "updated") || SameText(kind, "restartPending")) {
            // if ($card.result -ne 0) { exit 0 }
            if (!(member("result").is_number_integer() && member("result") == 0)) return "";
            // $version = $card.versionAfter
            version = member("versionAfter");
        } else {
            return "";  // else { exit 0 }
        }
        // if ($version -ne $Expected) { exit 0 }
        if (!SameText(version, expected)) return "";
    }
    // Write-Output "K740 FPGA $Expected on $($cards.Count) card(s)"
    return "K740 FPGA " + expected + " on " + std::to_string(cards.size()) + " card(s)";
}

// What one scenario produced.
struct tagSeen {
    int exitCode = -1;
    json result;  // the run's own result (last-run.json, or its dated copy when refused)
    std::string detected;
    std::string console;
};

json ReadResult(const fs::path& file) { return json::parse(ReadFileBytes(file), nullptr, false); }

std::string Verdict(const UpdaterSandbox& box) {
    return DetectedLine(box.WorkingFolder()).empty() ? "no" : "yes";
}

tagSeen Seen(const UpdaterSandbox& box, const tagUpdaterRun& run) {
    return {run.exitCode, ReadResult(box.WorkingFolder() / "last-run.json"), Verdict(box),
            run.console + run.errors};
}

// Checks one scenario against its row of the page.
void ExpectAsThePageSays(const std::string& scenario, const tagSeen& seen) {
    SCOPED_TRACE("scenario \"" + scenario + "\"");
    const std::map<std::string, tagPromise> rows = Promises();
    const auto row = rows.find(scenario);
    ASSERT_NE(row, rows.end()) << "docs/deployment.md has no row for it";
    const std::string shown = "console:\n" + seen.console + "\nresult:\n" + seen.result.dump(1);
    EXPECT_EQ(seen.exitCode, row->second.exitCode) << shown;
    ASSERT_TRUE(seen.result.is_object()) << shown;
    EXPECT_EQ(seen.result["formatVersion"], 2) << shown;
    EXPECT_EQ(seen.result["outcome"]["kind"], row->second.kind) << shown;
    // The result never contradicts the exit code the engine read.
    EXPECT_EQ(seen.result["outcome"]["exitCode"], seen.exitCode) << shown;
    if (row->second.detected != "as before") {
        EXPECT_EQ(seen.detected, row->second.detected) << shown;
    }
}

// The page's command for a scenario, or the play's own where the row describes it in words.
std::vector<std::string> Command(const std::string& scenario, const std::string& fallback) {
    const std::map<std::string, tagPromise> rows = Promises();
    const auto row = rows.find(scenario);
    return Words(row == rows.end() || row->second.command.empty() ? fallback : row->second.command);
}

constexpr const char* kUpdate = "-q -b -n -f image.xsvf";

// Holds the host edition's run lock as another run would: the same file under flock.
class HeldRunLock {
public:
    explicit HeldRunLock(const fs::path& stateDirectory)
        : fd_(open((stateDirectory / "OvnK740FpgaUpdaterRun.lock").c_str(),
                   O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        held_ = fd_.valid() && flock(fd_.get(), LOCK_EX | LOCK_NB) == 0;
    }
    bool held() const { return held_; }

private:
    ovn::ScopedDescriptor fd_;
    bool held_ = false;
};

std::set<fs::path> DatedCopies(const UpdaterSandbox& box) {
    std::set<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(box.WorkingFolder()))
        if (entry.path().filename().string().rfind("run-", 0) == 0 &&
            entry.path().extension() == ".json")
            copies.insert(entry.path());
    return copies;
}

}  // namespace

TEST(DeploymentDoc, ThePageHasARowForEveryScenarioPlayedHereAndNoOther) {
    const std::set<std::string> played = {"success",
                                          "already at the version",
                                          "listing",
                                          "no card",
                                          "failing card",
                                          "restart needed, first step",
                                          "restart needed, second step",
                                          "restarted by the utility",
                                          "resumed at the logon",
                                          "usage error",
                                          "unanswered",
                                          "already running"};
    std::set<std::string> onThePage;
    for (const auto& [scenario, row] : Promises()) onThePage.insert(scenario);
    EXPECT_EQ(onThePage, played);
}

TEST(DeploymentDoc, TheDetectionScriptIsTheOneThisTestPorts) {
    EXPECT_EQ(PageScript(), kPortedScript);
}

TEST(DeploymentDoc, DetectionRuleReadsOnlyAFormatTwoResultWithEveryCardAtTheVersion) {
    UpdaterSandbox box;
    fs::create_directories(box.WorkingFolder());
    const auto detect = [&](const json& result) {
        box.WriteFile("result.json", result.dump());
        fs::copy_file(box.Root() / "result.json", box.WorkingFolder() / "last-run.json",
                      fs::copy_options::overwrite_existing);
        return !DetectedLine(box.WorkingFolder()).empty();
    };
    const json card = {{"versionBefore", "1.2.7"}, {"versionAfter", "1.4.2"}, {"result", 0}};
    json updated = {{"formatVersion", 2},
                    {"outcome", {{"kind", "updated"}, {"exitCode", 0}}},
                    {"cards", {card, card}}};
    EXPECT_TRUE(DetectedLine(box.WorkingFolder()).empty()) << "no result file";
    EXPECT_TRUE(detect(updated));
    json other = updated;
    other["formatVersion"] = 1;
    EXPECT_FALSE(detect(other));
    other = updated;
    other["cards"][1]["result"] = 2;
    EXPECT_FALSE(detect(other)) << "a failed card";
    other = updated;
    other["cards"][1]["versionAfter"] = "1.3.0";
    EXPECT_FALSE(detect(other)) << "a card at another version";
    other = updated;
    other["cards"] = json::array();
    EXPECT_FALSE(detect(other)) << "no card";
    other = updated;
    other["outcome"]["kind"] = "listed";
    EXPECT_FALSE(detect(other)) << "a listing reads the versions before";
    other["cards"][0]["versionBefore"] = other["cards"][1]["versionBefore"] = "1.4.2";
    EXPECT_TRUE(detect(other));
    other["outcome"]["kind"] = "failed";
    EXPECT_FALSE(detect(other));
}

TEST(DeploymentDoc, SuccessIsDetectedAndTheEngineNeedNotRunAgain) {
    UpdaterSandbox box;
    box.UseMachine(MachineJson(DefaultCards()));
    box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun first = box.Run(Command("success", kUpdate));
    ExpectAsThePageSays("success", Seen(box, first));
    // Run anyway, the cards are programmed again and the rule stays at "detected".
    tagUpdaterRun again = box.Run(Command("already at the version", kUpdate));
    ExpectAsThePageSays("already at the version", Seen(box, again));
    tagUpdaterRun listing = box.Run(Command("listing", "-q"));
    ExpectAsThePageSays("listing", Seen(box, listing));
}

TEST(DeploymentDoc, NoCardAndAFailingCardAreFailuresTheRuleDoesNotDetect) {
    {
        UpdaterSandbox box;
        box.UseMachine(MachineJson({}));
        box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = box.Run(Command("no card", kUpdate));
        ExpectAsThePageSays("no card", Seen(box, run));
    }
    {
        UpdaterSandbox box;
        std::vector<tagTestCard> cards = DefaultCards();
        cards[1].faults = R"({"tdoStuck": 1})";
        box.UseMachine(MachineJson(cards));
        box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = box.Run(Command("failing card", kUpdate));
        ExpectAsThePageSays("failing card", Seen(box, run));
    }
}

TEST(DeploymentDoc, NoRebootTakesTwoStepsAroundTheEnginesRestart) {
    cycle::CycleBox world(cycle::Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun first = world.box.Run(Command("restart needed, first step", kUpdate));
    ExpectAsThePageSays("restart needed, first step", Seen(world.box, first));
    // The engine restarts the PC; nobody need log on before its second run.
    sim::host::SimulateRestart();
    tagUpdaterRun second = world.box.Run(Command("restart needed, second step", kUpdate));
    ExpectAsThePageSays("restart needed, second step", Seen(world.box, second));
    // The engine's restart after 4 imports the suite's settings; the rule still detects.
    world.box.RestartAndLogon();
    EXPECT_EQ(Verdict(world.box), "yes");
    EXPECT_FALSE(cycle::ImportEntry());
}

TEST(DeploymentDoc, WithoutNoRebootTheUtilityRestartsAndTheLogonFinishes) {
    cycle::CycleBox world(cycle::Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun first = world.box.Run(Command("restarted by the utility", "-q -b -f image.xsvf"));
    ExpectAsThePageSays("restarted by the utility", Seen(world.box, first));
    EXPECT_EQ(sim::host::Restarts().size(), 1u);
    // The resume entry runs at the logon; its exit code is in its result.
    tagUpdaterRun logon = world.box.RestartAndLogon();
    const json resumed = ReadResult(world.box.WorkingFolder() / "last-run.json");
    const int resumedExit = resumed.is_object() ? resumed["outcome"].value("exitCode", -1) : -1;
    ExpectAsThePageSays("resumed at the logon",
                        {resumedExit, resumed, Verdict(world.box), logon.console});
}

TEST(DeploymentDoc, AUsageErrorAndAnUnansweredPromptAreNotSuccess) {
    UpdaterSandbox box;
    box.UseMachine(MachineJson(DefaultCards()));
    box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun usage = box.Run(Command("usage error", "-q -b --flash=image.xsvf"));
    ExpectAsThePageSays("usage error", Seen(box, usage));
    // Standard input at its end: nobody is there to answer the prompt.
    tagUpdaterRun unanswered = box.Run(Command("unanswered", "-b -f image.xsvf"), "");
    ExpectAsThePageSays("unanswered", Seen(box, unanswered));
    EXPECT_NE(unanswered.console.find("-q"), std::string::npos) << "no hint to use -q:\n"
                                                                << unanswered.console;
}

TEST(DeploymentDoc, AStartWhileAnotherRunHoldsTheLockLeavesTheLastResultAndTheVerdict) {
    UpdaterSandbox box;
    box.UseMachine(MachineJson(DefaultCards()));
    box.WriteFile("image.xsvf", DemoImage());
    ASSERT_EQ(box.Run(Words(kUpdate)).exitCode, 0);
    const std::string lastRunBefore = ReadFileBytes(box.WorkingFolder() / "last-run.json");
    const std::string verdictBefore = Verdict(box);
    const std::set<fs::path> copiesBefore = DatedCopies(box);

    tagUpdaterRun refused;
    {
        HeldRunLock lock(box.StateDirectory());
        ASSERT_TRUE(lock.held());
        refused = box.Run(Command("already running", kUpdate));
    }
    std::vector<fs::path> added;
    for (const fs::path& copy : DatedCopies(box))
        if (!copiesBefore.count(copy)) added.push_back(copy);
    ASSERT_EQ(added.size(), 1u) << "the refused start's own dated copy\n" << refused.console;
    ExpectAsThePageSays("already running",
                        {refused.exitCode, ReadResult(added[0]), Verdict(box), refused.console});
    EXPECT_EQ(ReadFileBytes(box.WorkingFolder() / "last-run.json"), lastRunBefore);
    EXPECT_EQ(Verdict(box), verdictBefore);
}
