// The JSON result of whole runs: a failing card, an inventory, a declined run, an erased card after
// a good play, a card that cannot be verified, an empty image, a restart cycle with its log lines
// in order, a tampered cycle file and a rerun that repairs a lost cycle.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "app/cycle/sha256.h"
#include "simhost/host_records.h"
#include "simhost/host_registry.h"
#include "simhost/host_restart.h"
#include "simhost/host_state.h"
#include "testing/xsvf_writer/make_demo_xsvf.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"
#include "text/text_encoding.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

fs::path ResultFolder(const UpdaterSandbox& box) {
    return box.StateDirectory() / "ProgramData" / "Orvane" / "OvnK740FpgaUpdater";
}

json LastRun(const UpdaterSandbox& box) {
    const std::string text = ReadFileBytes(ResultFolder(box) / "last-run.json");
    EXPECT_FALSE(text.empty()) << "no last-run.json in " << ResultFolder(box);
    return text.empty() ? json::object() : json::parse(text);
}

std::vector<std::string> RunCopies(const UpdaterSandbox& box) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ResultFolder(box))) {
        const std::string name = entry.path().filename().string();
        // The dated log copies beside them (run-*.log) are not results.
        if (name.rfind("run-", 0) == 0 && entry.path().extension() == ".json")
            names.push_back(name);
    }
    return names;
}

std::string Sha256(const std::string& bytes) {
    return WideToUtf8(Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::set<std::string> Keys(const json& object) {
    std::set<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
    return keys;
}

// "2026-12-08T10:42:54Z": digits where the pattern has 'd', the rest as written.
bool IsUtcStamp(const std::string& text) {
    const std::string pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
}

bool IsRunId(const std::string& text) {
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// The members every result has, whatever the run did.
void ExpectCommonMembers(const json& r, int exitCode) {
    EXPECT_EQ(Keys(r), (std::set<std::string>{"formatVersion", "utility", "runId", "kind",
                                              "startTime", "endTime", "commandLine", "host",
                                              "outcome", "restart", "cycle", "cards"}))
        << r.dump(2);
    EXPECT_EQ(r["formatVersion"], 2);
    EXPECT_EQ(r["utility"], (json{{"name", "OvnK740FpgaUpdater"}, {"version", "1.0.0.21"}}));
    EXPECT_TRUE(IsRunId(r["runId"].get<std::string>()));
    EXPECT_TRUE(IsUtcStamp(r["startTime"].get<std::string>()));
    EXPECT_TRUE(IsUtcStamp(r["endTime"].get<std::string>()));
    EXPECT_LE(r["startTime"].get<std::string>(), r["endTime"].get<std::string>());
    EXPECT_EQ(r["host"], (json{{"is64Bit", true}}));
    EXPECT_EQ(r["outcome"]["exitCode"], exitCode);
    EXPECT_FALSE(r["outcome"]["meaning"].get<std::string>().empty());
}

// verification: judged only for a play without error (result 0, or 9 from the judgement itself).
json Card(int bus, const char* before, const json& after, const json& result,
          const json& verification = "by result") {
    json judged = verification;
    if (verification == "by result") {
        judged = result == 0 ? json("verified") : result == 9 ? json("failed") : json(nullptr);
    }
    return {{"bus", bus},
            {"device", 0},
            {"function", 0},
            {"position", "0x0" + std::to_string(bus) + "00"},
            {"versionBefore", before},
            {"versionAfter", after},
            {"result", result},
            {"verification", judged}};
}

// The card without the members that vary from run to run (time taken, failure detail).
json Stable(json card) {
    card.erase("milliseconds");
    card.erase("failure");
    return card;
}

}  // namespace

TEST(ResultFile, TwoCardsOneFailingGiveBothVersionsAndTheFailureDetail) {
    UpdaterSandbox box;
    UseDemoOnDefaultCards(box, "{}", R"({"tdoStuck": 0})");
    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    ASSERT_EQ(run.exitCode, 2) << run.console;

    const json r = LastRun(box);
    ExpectCommonMembers(r, 2);
    EXPECT_EQ(r["kind"], "update");
    EXPECT_EQ(r["commandLine"], (json{{"quiet", true},
                                      {"beep", false},
                                      {"noReboot", false},
                                      {"image",
                                       {{"name", "demo.xsvf"},
                                        {"nameEscaped", false},
                                        {"sha256", Sha256(DemoImage())},
                                        {"bytes", DemoImage().size()}}}}));
    EXPECT_EQ(r["outcome"], (json{{"exitCode", 2},
                                  {"meaning", "a card failed: TDO mismatch"},
                                  {"kind", "failed"},
                                  {"lock", nullptr},
                                  {"declined", false},
                                  {"malformedImage", false}}));
    EXPECT_EQ(
        r["restart"],
        (json{
            {"requested", false}, {"reason", nullptr}, {"pending", false}, {"runOnce", nullptr}}));
    EXPECT_EQ(r["cycle"]["resumedAfterRestart"], false);
    ASSERT_EQ(r["cycle"]["runs"].size(), 1u);
    EXPECT_EQ(r["cycle"]["runs"][0]["exitCode"], 2);
    ASSERT_EQ(r["cards"].size(), 2u);
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.2.7", "1.4.2", 0));
    EXPECT_TRUE(r["cards"][0]["failure"].is_null());
    EXPECT_EQ(Stable(r["cards"][1]), Card(4, "1.3.0", "1.3.0", 2));
    const json& failure = r["cards"][1]["failure"];
    EXPECT_GE(failure["commandIndex"].get<int>(), 0);
    EXPECT_GT(failure["byteOffset"].get<unsigned>(), 0u);
    EXPECT_TRUE(failure["reason"].is_null());
    EXPECT_FALSE(failure["tdo"]["expected"].get<std::string>().empty());
    EXPECT_FALSE(failure["tdo"]["captured"].get<std::string>().empty());
    EXPECT_FALSE(failure["tdo"]["mask"].get<std::string>().empty());
    EXPECT_TRUE(r["cards"][0]["milliseconds"].is_number_unsigned());
    // The log line of the failing card carries the same detail.
    const std::string detail = "command " + std::to_string(failure["commandIndex"].get<int>());
    EXPECT_NE(
        box.LogBytes().find("   Card 1 at PCIe Bus 0x0400: version before 1.3.0, after 1.3.0, "
                            "error code 2: " +
                            detail),
        std::string::npos)
        << box.LogBytes();
    EXPECT_NE(
        box.LogBytes().find("   Card 0 at PCIe Bus 0x0300: version before 1.2.7, after 1.4.2, "
                            "ok\r\n"),
        std::string::npos);
    const std::vector<std::string> copies = RunCopies(box);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadFileBytes(ResultFolder(box) / copies[0]),
              ReadFileBytes(ResultFolder(box) / "last-run.json"));
}

TEST(ResultFile, AListingOnlyRunIsAnInventory) {
    UpdaterSandbox box;
    ASSERT_EQ(box.Run({"-q"}).exitCode, 1);
    const json r = LastRun(box);
    ExpectCommonMembers(r, 1);
    EXPECT_EQ(r["kind"], "inventory");
    EXPECT_TRUE(r["commandLine"]["image"].is_null());
    EXPECT_EQ(r["outcome"]["meaning"], "listing only: no image file was named");
    ASSERT_EQ(r["cards"].size(), 2u);
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.2.7", nullptr, nullptr));
    EXPECT_EQ(Stable(r["cards"][1]), Card(4, "1.3.0", nullptr, nullptr));
    EXPECT_TRUE(r["cards"][0]["milliseconds"].is_null());
    EXPECT_NE(box.LogBytes().find("   Card 1 at PCIe Bus 0x0400: version before 1.3.0, after -, "
                                  "not programmed\r\n"),
              std::string::npos);
}

TEST(ResultFile, ADeclinedRunSaysSoAndProgramsNothing) {
    UpdaterSandbox box;
    box.WriteFile("demo.xsvf", DemoImage());
    tagUpdaterRun run = box.Run({"-b", "-f", "demo.xsvf"}, "n");
    ASSERT_EQ(run.exitCode, 0);
    const json r = LastRun(box);
    ExpectCommonMembers(r, 0);
    EXPECT_EQ(r["outcome"]["declined"], true);
    EXPECT_EQ(r["outcome"]["meaning"], "declined at a prompt: nothing was programmed");
    EXPECT_EQ(r["commandLine"]["quiet"], false);
    EXPECT_EQ(r["commandLine"]["image"]["sha256"], Sha256(DemoImage()));
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.2.7", nullptr, nullptr));
    EXPECT_EQ(Stable(r["cards"][1]), Card(4, "1.3.0", nullptr, nullptr));
}

TEST(ResultFile, AnErasedVersionAfterAGoodPlayFailsTheCardWithNine) {
    UpdaterSandbox box;
    const XsvfBytes erased = MakeK740Xsvf({255, 255, 255, 255});
    box.WriteFile("erased.xsvf", std::string(erased.begin(), erased.end()));
    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "erased.xsvf"});
    EXPECT_EQ(run.exitCode, 9) << run.console;
    EXPECT_NE(
        run.console.find("Update failed on device at index 0 with error code 9\nUpdate failed on "
                         "device at index 1 with error code 9\n"),
        std::string::npos)
        << run.console;
    const json r = LastRun(box);
    ExpectCommonMembers(r, 9);
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.2.7", "255.255.255", 9));
    EXPECT_EQ(r["cards"][0]["failure"]["reason"],
              "the FPGA version reads 255.255.255 (erased) after a play without error");
    EXPECT_NE(
        box.LogBytes().find("   Card at PCIe Bus 0x0300 failed verification: its FPGA version "
                            "reads 255.255.255 (erased)"),
        std::string::npos)
        << box.LogBytes();
}

TEST(ResultFile, AnUnchangedVersionIsReportedNotFailed) {
    UpdaterSandbox box;
    std::vector<tagTestCard> cards = DefaultCards();
    cards.resize(1);
    cards[0].version = "1.4.2";
    box.UseMachine(MachineJson(cards));
    box.WriteFile("demo.xsvf", DemoImage());
    ASSERT_EQ(box.Run({"-q", "-b", "-f", "demo.xsvf"}).exitCode, 0);
    const json r = LastRun(box);
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.4.2", "1.4.2", 0));
    EXPECT_EQ(r["outcome"]["meaning"], "success: every card was programmed and verified");
}

namespace {

const std::string kSettings("%PX\0\0cfg\xff", 9);

std::string CycleMachine() {
    std::vector<tagTestCard> cards = DefaultCards();
    for (tagTestCard& card : cards) {
        card.display =
            R"({"driver": {"infPath": "C:\\Windows\\INF\\oem12.inf", "infSection": "K740",
               "files": ["C:\\Windows\\System32\\DriverStore\\k740disp.sys"]},
               "disable": "afterRestart"})";
    }
    return MachineJson(cards, true,
                       "\"suite\": {\"settingsHex\": \"" + sim::host::HexOf(kSettings) + "\"}");
}

void StartSuiteCore() {
    sim::host::CreateNamedEvent(L"Global\\OvnPluxCoreCloseEvent_1");
    sim::host::AddProcess(L"Orvane.Plux.Core.exe", 1);
}

// The lines must appear in this order; returns the first one that does not, or "".
std::string FirstMissingInOrder(const std::string& log, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = log.find(line, at);
        if (found == std::string::npos) return line;
        at = found + line.size();
    }
    return "";
}

}  // namespace

TEST(ResultFile, ARestartCycleEndsWithOneResultAndLogsEveryStepInOrder) {
    UpdaterSandbox box;
    setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
    box.UseMachine(CycleMachine());
    box.InstallSuite();
    StartSuiteCore();
    box.WriteFile("image.xsvf", DemoImage());
    const std::string image = (box.Root() / "image.xsvf").string();

    tagUpdaterRun first = box.Run({"-b", "-f", image}, "y");
    ASSERT_EQ(first.exitCode, 0) << first.console;
    const json before = LastRun(box);
    ExpectCommonMembers(before, 0);
    EXPECT_EQ(before["restart"]["requested"], true);
    EXPECT_EQ(before["restart"]["reason"], "disable");
    EXPECT_NE(before["restart"]["runOnce"].get<std::string>().find("\" -b -f \""),
              std::string::npos)
        << before["restart"]["runOnce"];
    EXPECT_EQ(Stable(before["cards"][0]), Card(3, "1.2.7", nullptr, nullptr));
    EXPECT_TRUE(fs::exists(ResultFolder(box) / "cycle-in-progress.json"));

    StartSuiteCore();  // the suite starts again at the logon
    tagUpdaterRun resumed = box.RestartAndLogon("y");
    ASSERT_NE(resumed.console.find("100%"), std::string::npos) << resumed.console;
    const json r = LastRun(box);
    ExpectCommonMembers(r, 0);
    EXPECT_EQ(r["runId"], before["runId"]);
    EXPECT_EQ(r["startTime"], before["startTime"]);
    EXPECT_EQ(r["cycle"]["resumedAfterRestart"], true);
    ASSERT_EQ(r["cycle"]["runs"].size(), 2u);
    EXPECT_EQ(r["cycle"]["runs"][0]["restartRequested"], true);
    EXPECT_EQ(r["cycle"]["runs"][0]["startTime"], before["startTime"]);
    EXPECT_EQ(r["cycle"]["runs"][1]["exitCode"], 0);
    EXPECT_EQ(r["restart"]["requested"], true);
    EXPECT_EQ(r["restart"]["reason"], "enable");
    EXPECT_NE(r["restart"]["runOnce"].get<std::string>().find("Orvane.PluxCmd.exe\" /import "),
              std::string::npos);
    EXPECT_EQ(r["commandLine"]["image"]["sha256"], Sha256(DemoImage()));
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.2.7", "1.4.2", 0));
    EXPECT_EQ(Stable(r["cards"][1]), Card(4, "1.3.0", "1.4.2", 0));
    EXPECT_FALSE(fs::exists(ResultFolder(box) / "cycle-in-progress.json"));
    // One copy for the cycle: the resumed run replaced the first run's.
    EXPECT_EQ(RunCopies(box).size(), 1u);

    const std::string log = box.LogBytes();
    const std::vector<std::string> steps = {
        "   Driver query: ",
        ": a display driver is installed, named by the line \"    Driver installed from ",
        "oem12.inf [K740]",
        "   Suite settings export: ",
        "/export ",
        "exit code 0; 9 bytes\r\n",
        "   Suite settings stored in Config: 9 bytes\r\n",
        "   RunOnce value !OvnK740FpgaUpdater written: ",
        "resume.xsvf",
        "   Display driver disable: exit code 1\r\n",
        "   Restart requested (to disable the display driver): accepted\r\n",
        "   Card 0 at PCIe Bus 0x0300: version before 1.2.7, after -, not programmed\r\n",
        "   Result written to ",
        "   Driver query: ",
        "   Suite settings restored from Config into ",
        ": 9 bytes\r\n",
        "   Display driver disable: exit code 0\r\n",
        "Execution time = ",
        "   Display driver enable: exit code 0\r\n",
        "   RunOnce value !OvnK740FpgaUpdaterImport written: ",
        "/import ",
        "   Tidy-up: Run value not present, Config deleted\r\n",
        "   Restart requested (after enabling the display driver): accepted\r\n",
        "   Card 0 at PCIe Bus 0x0300: version before 1.2.7, after 1.4.2, ok\r\n",
        "   Card 1 at PCIe Bus 0x0400: version before 1.3.0, after 1.4.2, ok\r\n",
        "   Result written to ",
    };
    EXPECT_EQ(FirstMissingInOrder(log, steps), "") << log;
    // The first run's resume entry is the one the logon starts: no second name beside it.
    EXPECT_EQ(log.find("RunOnce value !OvnK740FpgaUpdaterResume written: "), std::string::npos);
    // The console keeps its own texts: none of the log-only lines reach it.
    EXPECT_EQ(first.console.find("Driver query"), std::string::npos);
    EXPECT_EQ(resumed.console.find("Tidy-up"), std::string::npos);
}

TEST(ResultFile, ACardWhoseVersionDeviceNeverAnswersIsNotVerifiedAndItsPlayStands) {
    UpdaterSandbox box;
    UseDemoOnDefaultCards(box, R"({"i2cNeverDone": true})", "{}");
    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 0) << run.console;
    EXPECT_NE(run.console.find("   PCIe Bus: 0x0300   FPGA version: 0.0.000\n"), std::string::npos)
        << run.console;
    EXPECT_NE(run.console.find("Execution time = "), std::string::npos) << run.console;
    EXPECT_EQ(run.console.find("error code 9"), std::string::npos) << run.console;
    const json r = LastRun(box);
    ExpectCommonMembers(r, 0);
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "0.0.000", "0.0.000", 0, "not verified"));
    EXPECT_EQ(Stable(r["cards"][1]), Card(4, "1.3.0", "1.4.2", 0));
    EXPECT_EQ(r["outcome"]["meaning"],
              "every card was programmed without error; 1 card is not verified: its FPGA version "
              "could be read neither before nor after");
    EXPECT_NE(box.LogBytes().find("   Card 0 at PCIe Bus 0x0300: version before 0.0.000, after "
                                  "0.0.000, not verified\r\n"),
              std::string::npos)
        << box.LogBytes();
}

TEST(ResultFile, AnEmptyImageProgramsNothingAndIsNoSuccess) {
    UpdaterSandbox box;
    box.WriteFile("empty.xsvf", "");
    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "empty.xsvf"});
    EXPECT_EQ(run.exitCode, 0) << run.console;
    EXPECT_EQ(run.console, std::string(kBanner) + kDefaultList + "\n");
    const json r = LastRun(box);
    ExpectCommonMembers(r, 0);
    EXPECT_EQ(r["kind"], "update");
    EXPECT_EQ(r["commandLine"]["image"]["bytes"], 0);
    EXPECT_EQ(r["outcome"]["meaning"],
              "nothing was programmed: the image file is empty (0 bytes), so the cards were only "
              "listed");
    EXPECT_EQ(r["outcome"]["kind"], "listed");
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.2.7", nullptr, nullptr));
}

namespace {

// The first run of a cycle: the disable asks for a restart, which is made.
json FirstRunOfACycle(UpdaterSandbox& box, const std::string& image) {
    setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
    box.UseMachine(CycleMachine());
    box.InstallSuite();
    StartSuiteCore();
    box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun first = box.Run({"-q", "-b", "-f", image});
    EXPECT_EQ(first.exitCode, 0) << first.console;
    EXPECT_TRUE(fs::exists(ResultFolder(box) / "cycle-in-progress.json"));
    return LastRun(box);
}

// Every file name anywhere under the sandbox that holds `text`.
std::vector<std::string> NamesHolding(const UpdaterSandbox& box, const std::string& text) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(box.Root()))
        if (entry.path().filename().string().find(text) != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

}  // namespace

TEST(ResultFile, ACarriedCycleWhoseStartTimeIsAPathIsDroppedAndNoFileIsMadeFromIt) {
    UpdaterSandbox box;
    const std::string image = (box.Root() / "image.xsvf").string();
    const json before = FirstRunOfACycle(box, image);
    const fs::path carriedPath = ResultFolder(box) / "cycle-in-progress.json";
    json carried = json::parse(ReadFileBytes(carriedPath));
    carried["startTime"] = "X/../../../escaped";
    std::ofstream(carriedPath, std::ios::binary | std::ios::trunc) << carried.dump(2);

    StartSuiteCore();
    tagUpdaterRun resumed = box.RestartAndLogon();
    ASSERT_NE(resumed.console.find("100%"), std::string::npos) << resumed.console;
    EXPECT_NE(box.LogBytes().find("   The carried cycle in cycle-in-progress.json was dropped: "
                                  "startTime is not a UTC time.\r\n"),
              std::string::npos)
        << box.LogBytes();
    // The resumed run's result is its own, under a name of its own values.
    const json r = LastRun(box);
    ExpectCommonMembers(r, 0);
    EXPECT_NE(r["runId"], before["runId"]);
    EXPECT_EQ(r["cycle"]["resumedAfterRestart"], false);
    EXPECT_EQ(r["cycle"]["runs"].size(), 1u);
    EXPECT_TRUE(r["cycle"]["repairedCycle"].is_null());
    EXPECT_EQ(NamesHolding(box, "escaped"), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(carriedPath));
    std::string stamp;
    for (char c : r["startTime"].get<std::string>())
        if (c != '-' && c != ':') stamp += c;
    const std::string ownCopy =
        "run-" + stamp + "-" + r["runId"].get<std::string>().substr(0, 8) + ".json";
    EXPECT_TRUE(fs::exists(ResultFolder(box) / ownCopy)) << ownCopy;
}

// A cycle whose restart was made but whose resume never ran (the resume entry did not start); the
// operator starts the update again by hand. That run repairs the cycle and reports itself.
TEST(ResultFile, ARerunAfterALostCycleWritesItsOwnResultAndNamesTheCycleItRepaired) {
    UpdaterSandbox box;
    const std::string image = (box.Root() / "image.xsvf").string();
    const json before = FirstRunOfACycle(box, image);
    const std::vector<std::string> firstCopies = RunCopies(box);
    ASSERT_EQ(firstCopies.size(), 1u);
    const std::string firstCopy = ReadFileBytes(ResultFolder(box) / firstCopies[0]);

    sim::host::SimulateRestart();
    StartSuiteCore();
    tagUpdaterRun rerun = box.Run({"-q", "-b", "-f", image});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.console;
    ASSERT_NE(rerun.console.find("100%"), std::string::npos) << rerun.console;

    const json r = LastRun(box);
    ExpectCommonMembers(r, 0);
    EXPECT_NE(r["runId"], before["runId"]);
    EXPECT_GE(r["startTime"].get<std::string>(), before["endTime"].get<std::string>());
    EXPECT_EQ(r["cycle"]["resumedAfterRestart"], false);
    EXPECT_EQ(r["cycle"]["repairedCycle"],
              (json{{"runId", before["runId"]}, {"startTime", before["startTime"]}}));
    ASSERT_EQ(r["cycle"]["runs"].size(), 1u);
    EXPECT_EQ(r["cycle"]["runs"][0]["startTime"], r["startTime"]);
    EXPECT_EQ(Stable(r["cards"][0]), Card(3, "1.2.7", "1.4.2", 0));
    EXPECT_FALSE(fs::exists(ResultFolder(box) / "cycle-in-progress.json"));
    // Each cycle keeps its own copy: the lost cycle's is as it wrote it.
    EXPECT_EQ(RunCopies(box).size(), 2u);
    EXPECT_EQ(ReadFileBytes(ResultFolder(box) / firstCopies[0]), firstCopy);
    EXPECT_NE(
        box.LogBytes().find("   This run repaired the cycle " + before["runId"].get<std::string>() +
                            " started " + before["startTime"].get<std::string>()),
        std::string::npos)
        << box.LogBytes();
}
