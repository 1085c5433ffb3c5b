// The result document: every member in its JSON form and back, the README's example, the time
// stamps, the meanings of the exit codes, and the files in the result folder.
#include "app/results/run_result.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/console/exit_codes.h"
#include "app/results/run_result_store.h"
#include "platform/atomic_file.h"
#include "text/text_encoding.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

tagRunResult TwoCardsOneFailing() {
    tagRunResult r;
    r.runId = "0123456789abcdef0123456789abcdef";
    r.utilityVersion = "1.0.0.21";
    r.startTime = "2026-12-08T10:00:00Z";
    r.endTime = "2026-12-08T10:00:09Z";
    r.kind = "update";
    r.quiet = true;
    r.beep = false;
    r.imageName = "image.xsvf";
    r.imageSha256 = std::string(64, 'a');
    r.imageBytes = 1234;
    r.host64Bit = true;
    r.exitCode = 3;
    r.segments = {{r.startTime, r.endTime, 3, false}};
    tagCardResult ok{3, 0, 0, "1.2.7", "1.4.2", 0, std::nullopt, 1500, std::nullopt};
    tagCardFailure failure{7, 8, 81, "00", "01", "FF", ""};
    tagCardResult failed{4, 0, 0, "1.3.0", "1.3.0", 3, failure, 4, std::nullopt};
    r.cards = {ok, failed};
    r.exitMeaning = ExitCodeMeaning(r);
    return r;
}

std::set<std::string> Keys(const json& object) {
    std::set<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
    return keys;
}

using Names = std::set<std::string>;

TEST(RunResult, ARefusedStartAndAListingsPendingCycleSurviveTheirJson) {
    tagRunResult busy = TwoCardsOneFailing();
    busy.cards.clear();
    busy.exitCode = 11;
    busy.end = RunEnd::kLockRefused;
    busy.lock = "busy";
    busy.pendingPhase = "disablePending";
    busy.pendingNext = "Restart the computer, then start the update with its XSVF file again.";
    const tagRunResult back = RunResultFromJson(RunResultToJson(busy));
    EXPECT_EQ(back.lock, "busy");
    EXPECT_EQ(RunResultToJson(back)["outcome"]["kind"], "alreadyRunning");
    EXPECT_EQ(back.pendingPhase, busy.pendingPhase);
    EXPECT_EQ(back.pendingNext, busy.pendingNext);
    EXPECT_EQ(ExitCodeMeaning(back),
              "another run was in progress: nothing was listed, programmed or changed");
    // A carried cycle of format 1 (written before the utility was replaced) is still read.
    json older = RunResultToJson(TwoCardsOneFailing());
    older["formatVersion"] = 1;
    older["outcome"]["kind"] = "run";
    older["outcome"].erase("lock");
    older["commandLine"]["image"].erase("nameEscaped");
    older["cycle"].erase("pending");
    EXPECT_FALSE(RunResultFromJson(older).lock);
    EXPECT_EQ(RunResultFromJson(older).imageName, "image.xsvf");
    EXPECT_FALSE(RunResultFromJson(older).pendingPhase);
}

TEST(RunResult, EveryMemberIsWrittenAndReadBack) {
    const json document = RunResultToJson(TwoCardsOneFailing());
    EXPECT_EQ(Keys(document),
              (Names{"formatVersion", "utility", "runId", "kind", "startTime", "endTime",
                     "commandLine", "host", "outcome", "restart", "cycle", "cards"}));
    EXPECT_EQ(document["formatVersion"], 2);
    EXPECT_EQ(Keys(document["utility"]), (Names{"name", "version"}));
    EXPECT_EQ(Keys(document["commandLine"]), (Names{"quiet", "beep", "noReboot", "image"}));
    EXPECT_EQ(Keys(document["commandLine"]["image"]),
              (Names{"name", "nameEscaped", "sha256", "bytes"}));
    EXPECT_EQ(Keys(document["outcome"]),
              (Names{"exitCode", "meaning", "declined", "malformedImage", "kind", "lock"}));
    EXPECT_EQ(document["outcome"]["kind"], "failed") << "3 with a card's code is the card's";
    EXPECT_EQ(document["outcome"]["meaning"], "a card failed: TDO mismatch after all retries");
    EXPECT_EQ(Keys(document["restart"]), (Names{"requested", "reason", "pending", "runOnce"}));
    EXPECT_EQ(Keys(document["cycle"]),
              (Names{"resumedAfterRestart", "repairedCycle", "runs", "pending"}));
    EXPECT_TRUE(document["cycle"]["repairedCycle"].is_null());
    ASSERT_EQ(document["cards"].size(), 2u);
    const json& failed = document["cards"][1];
    EXPECT_EQ(Keys(failed),
              (Names{"bus", "device", "function", "position", "versionBefore", "versionAfter",
                     "result", "failure", "milliseconds", "verification"}));
    EXPECT_EQ(failed["position"], "0x0400");
    EXPECT_EQ(failed["failure"]["commandIndex"], 7);
    EXPECT_EQ(failed["failure"]["tdo"]["captured"], "01");
    EXPECT_TRUE(document["cards"][0]["failure"].is_null());
    // Read back and written again: nothing lost, nothing added.
    EXPECT_EQ(RunResultToJson(RunResultFromJson(document)), document);

    tagRunResult repaired = TwoCardsOneFailing();
    repaired.repairedCycle = tagCycleName{std::string(32, 'e'), "2026-12-07T09:00:00Z"};
    repaired.cards[0].verification = kNotVerified;
    const json again = RunResultToJson(repaired);
    EXPECT_EQ(again["cycle"]["repairedCycle"],
              (json{{"runId", std::string(32, 'e')}, {"startTime", "2026-12-07T09:00:00Z"}}));
    EXPECT_EQ(again["cards"][0]["verification"], "not verified");
    EXPECT_EQ(RunResultToJson(RunResultFromJson(again)), again);
}

TEST(RunResult, AnInventoryHasNoImageAndNoVersionsAfter) {
    tagRunResult r;
    r.kind = "inventory";
    r.exitCode = 1;
    r.cards = {tagCardResult{3, 0, 0, "1.2.7", std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt, std::nullopt}};
    EXPECT_EQ(ExitCodeMeaning(r), "listing only: no image file was named");
    const json document = RunResultToJson(r);
    EXPECT_TRUE(document["commandLine"]["image"].is_null());
    EXPECT_TRUE(document["cards"][0]["versionAfter"].is_null());
    EXPECT_TRUE(document["cards"][0]["result"].is_null());
    EXPECT_EQ(RunResultToJson(RunResultFromJson(document)), document);
}

TEST(RunResult, ACodeIsACardsFailureOnlyWhenACardFailedWithIt) {
    tagRunResult r = TwoCardsOneFailing();
    r.exitCode = 2;
    EXPECT_EQ(ExitCodeMeaning(r), "the image file cannot be opened");
    r.cards[1].result = 2;
    EXPECT_EQ(ExitCodeMeaning(r), "a card failed: TDO mismatch");
    r.cards[1].result = kUnverifiedCardResult;
    r.exitCode = kUnverifiedCardResult;
    EXPECT_EQ(ExitCodeMeaning(r),
              "a card failed: FPGA version unreadable or erased after programming");
    r.exitCode = 0;
    r.cards.clear();
    r.declined = true;
    EXPECT_EQ(ExitCodeMeaning(r), "declined at a prompt: nothing was programmed");
    r.declined = false;
    r.restartRequested = true;
    r.restartReason = "disable";
    EXPECT_NE(ExitCodeMeaning(r).find("resumes at the next logon"), std::string::npos);
    // Nothing programmed is never told as a success, nor is a card that could not be verified.
    r.restartRequested = false;
    r.restartReason.clear();
    r.imageBytes = 0;
    EXPECT_EQ(ExitCodeMeaning(r),
              "nothing was programmed: the image file is empty (0 bytes), so the cards were only "
              "listed");
    // No card played: never a success, whatever else the result says.
    r = TwoCardsOneFailing();
    r.exitCode = 0;
    for (tagCardResult& card : r.cards) card.result.reset();
    EXPECT_EQ(ExitCodeMeaning(r).find("success"), std::string::npos) << ExitCodeMeaning(r);
    EXPECT_NE(ExitCodeMeaning(r).find("nothing was programmed"), std::string::npos);
    r.imageBytes.reset();
    EXPECT_NE(ExitCodeMeaning(r).find("nothing was programmed"), std::string::npos);
    r = TwoCardsOneFailing();
    r.exitCode = 0;
    r.cards[1].result = 0;
    r.cards[0].verification = "verified";
    r.cards[1].verification = kNotVerified;
    EXPECT_EQ(ExitCodeMeaning(r),
              "every card was programmed without error; 1 card is not verified: its FPGA version "
              "could be read neither before nor after");
    r.cards[1].verification = "verified";
    EXPECT_EQ(ExitCodeMeaning(r), "success: every card was programmed and verified");
    r.exitCode = 4;
    r.malformedImage = true;
    EXPECT_EQ(
        ExitCodeMeaning(r),
        "the image is malformed (illegal command or truncated image): nothing was programmed");
}

TEST(RunResult, DocumentsOfAnotherFormatOrWithMembersMissingAreRefused) {
    json document = RunResultToJson(TwoCardsOneFailing());
    json other = document;
    other["formatVersion"] = 3;
    EXPECT_THROW(RunResultFromJson(other), json::exception);
    json escaped = document;
    escaped["commandLine"]["image"]["nameEscaped"] = true;
    escaped["commandLine"]["image"]["name"] = "a\\q";
    EXPECT_THROW(RunResultFromJson(escaped), json::exception);
    json missing = document;
    missing["cards"][0].erase("versionBefore");
    EXPECT_THROW(RunResultFromJson(missing), json::exception);
}

// The README's example is checked the way a fleet tool would read it: every member there, of the
// right type, and no other.
TEST(RunResult, TheReadmeExampleIsADocumentOfThisFormat) {
    std::ifstream readme(std::string(OVN_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << readme.rdbuf();
    const std::string all = text.str();
    const std::size_t marker = all.find("<!-- run-result-example -->");
    ASSERT_NE(marker, std::string::npos);
    const std::size_t begin = all.find("```json\n", marker);
    const std::size_t end = all.find("\n```", begin + 8);
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const json example = json::parse(all.substr(begin + 8, end - begin - 8));
    const tagRunResult parsed = RunResultFromJson(example);
    EXPECT_EQ(RunResultToJson(parsed), example);
    EXPECT_EQ(parsed.exitMeaning, ExitCodeMeaning(parsed));
    EXPECT_EQ(parsed.cards.size(), 2u);
    EXPECT_EQ(parsed.imageSha256->size(), 64u);
}

TEST(RunResult, TimeStampsAreUtcIso8601) {
    EXPECT_EQ(UtcTimestamp(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(UtcTimestamp(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(UtcTimestamp(1796726574), "2026-12-08T10:42:54Z");
    EXPECT_EQ(UtcTimestamp(4102444799), "2099-12-31T23:59:59Z");
    EXPECT_EQ(UtcTimestampNow().size(), 20u);
}

class ResultFolderTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ovn-result-test-" + std::to_string(getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::wstring Folder() const { return Utf8ToWide(folder_.string()); }
    std::string Read(const fs::path& path) const {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    fs::path folder_;
};

TEST_F(ResultFolderTest, TheNewestTwentyCopiesAreKeptBesideTheLastRun) {
    tagRunResult r = TwoCardsOneFailing();
    for (int i = 0; i < 25; ++i) {
        r.startTime = UtcTimestamp(1796726574 + i);
        const platform::FileStatus stored = StoreRunResult(Folder(), r);
        ASSERT_TRUE(stored) << stored.error().call << " " << stored.error().code;
    }
    std::vector<std::string> copies;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("run-", 0) == 0) copies.push_back(name);
    }
    std::sort(copies.begin(), copies.end());
    ASSERT_EQ(copies.size(), 20u);
    EXPECT_EQ(copies.front(), "run-20261208T104259Z-01234567.json");
    EXPECT_EQ(copies.back(), "run-20261208T104318Z-01234567.json");
    EXPECT_EQ(json::parse(Read(folder_ / "last-run.json"))["startTime"], r.startTime);
    EXPECT_EQ(Read(folder_ / "last-run.json"), Read(folder_ / copies.back()));
}

TEST_F(ResultFolderTest, ALinkOrASecondNameInPlaceOfTheFileLosesTheNameAndItsTargetIsKept) {
    const fs::path victim = folder_ / "victim.ini";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, folder_ / "last-run.json");
    EXPECT_TRUE(StoreRunResult(Folder(), TwoCardsOneFailing()));
    EXPECT_EQ(Read(victim), "keep");
    EXPECT_FALSE(fs::is_symlink(folder_ / "last-run.json"));
    fs::remove(folder_ / "last-run.json");
    fs::create_hard_link(victim, folder_ / "last-run.json");
    EXPECT_TRUE(StoreRunResult(Folder(), TwoCardsOneFailing()));
    EXPECT_EQ(Read(victim), "keep");
    EXPECT_EQ(fs::hard_link_count(victim), 1u);
    EXPECT_TRUE(
        platform::ReadFileSafely(Utf8ToWide((folder_ / "last-run.json").string()), 1 << 16));
}

TEST_F(ResultFolderTest, TheCarriedCycleIsTakenOnceAndOnlyWhenItIsOurs) {
    std::string problem;
    ASSERT_TRUE(SaveCarriedRun(Folder(), TwoCardsOneFailing()));
    auto carried = TakeCarriedRun(Folder(), &problem);
    ASSERT_TRUE(carried);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(carried->runId, TwoCardsOneFailing().runId);
    EXPECT_FALSE(TakeCarriedRun(Folder(), &problem));
    EXPECT_EQ(problem, "");
    std::ofstream(folder_ / "cycle-in-progress.json") << "{\"formatVersion\": 1}";
    EXPECT_FALSE(TakeCarriedRun(Folder(), &problem));
    EXPECT_EQ(problem, "it is not a result of this format");
    EXPECT_FALSE(fs::exists(folder_ / "cycle-in-progress.json"));

    // A start time that is a path: dropped with the member named, and no file is made from it.
    json tampered = RunResultToJson(TwoCardsOneFailing());
    tampered["startTime"] = "X/../../escaped";
    std::ofstream(folder_ / "cycle-in-progress.json") << tampered.dump();
    EXPECT_FALSE(TakeCarriedRun(Folder(), &problem));
    EXPECT_EQ(problem, "startTime is not a UTC time");
    EXPECT_FALSE(fs::exists(folder_ / "cycle-in-progress.json"));
    tagRunResult unchecked = TwoCardsOneFailing();
    unchecked.startTime = "X/../../escaped";
    const platform::FileStatus stored = StoreRunResult(Folder(), unchecked);
    ASSERT_FALSE(stored);
    EXPECT_EQ(stored.error().call, "RunCopyName");
    for (const auto& entry : fs::directory_iterator(folder_.parent_path()))
        EXPECT_EQ(entry.path().filename().string().find("escaped"), std::string::npos)
            << entry.path();
}

}  // namespace
