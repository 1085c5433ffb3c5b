// The formats a carried cycle is checked against, and the dated copy's name made from numbers.
#include "app/results/run_result_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/results/run_result_store.h"
#include "text/text_encoding.h"

namespace {

tagCardResult Listed(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                     const char* version) {
    tagCardResult card;
    card.bus = bus;
    card.device = device;
    card.function = function;
    card.versionBefore = version;
    return card;
}

tagRunResult CarriedCycle() {
    tagRunResult r;
    r.runId = "5be8a3c00123456789abcdef01234567";
    r.utilityVersion = "1.0.0.21";
    r.startTime = "2026-12-08T11:04:12Z";
    r.endTime = "2026-12-08T11:04:30Z";
    r.kind = "update";
    r.segments = {{r.startTime, r.endTime, 0, true}};
    r.cards = {Listed(3, 0, 0, "1.2.7"), Listed(4, 0, 0, "0.0.000"),
               Listed(5, 31, 7, "255.255.255")};
    r.repairedCycle = tagCycleName{"00000000111111112222222233333333", "2026-12-07T23:59:59Z"};
    return r;
}

TEST(CarriedCycleCheck, AFileAsTheRecorderWritesItPasses) {
    EXPECT_EQ(CarriedRunProblem(CarriedCycle()), "");
    tagRunResult leapDay = CarriedCycle();
    leapDay.startTime = "2028-02-29T00:00:00Z";
    EXPECT_EQ(CarriedRunProblem(leapDay), "");
}

// Each member the resumed run takes, changed to text of another shape, makes the file unusable and
// the reason names the member.
TEST(CarriedCycleCheck, EveryTakenMemberOfAnotherShapeIsNamed) {
    struct Case {
        const char* member;
        std::function<void(tagRunResult&)> change;
    };
    const std::vector<Case> cases = {
        {"runId", [](tagRunResult& r) { r.runId = "../../../../Windows/System32/x"; }},
        {"runId", [](tagRunResult& r) { r.runId = "5BE8A3C00123456789ABCDEF01234567"; }},
        {"runId", [](tagRunResult& r) { r.runId = "5be8a3c0"; }},
        {"startTime", [](tagRunResult& r) { r.startTime = "X/../../../../somewhere"; }},
        {"startTime", [](tagRunResult& r) { r.startTime = "2026-12-08T11:04:12Z\\..\\x"; }},
        {"startTime", [](tagRunResult& r) { r.startTime = "2027-02-29T00:00:00Z"; }},
        {"startTime", [](tagRunResult& r) { r.startTime = "2026-12-08T24:00:00Z"; }},
        {"startTime", [](tagRunResult& r) { r.startTime = "2026-12-08 11:04:12Z"; }},
        {"cycle.runs", [](tagRunResult& r) { r.segments[0].endTime = "later"; }},
        {"cycle.runs", [](tagRunResult& r) { r.segments[0].exitCode = -5; }},
        {"cycle.runs", [](tagRunResult& r) { r.segments.assign(9, r.segments[0]); }},
        {"versionBefore", [](tagRunResult& r) { r.cards[0].versionBefore = "1.2.7/../../x"; }},
        {"versionBefore", [](tagRunResult& r) { r.cards[0].versionBefore = "01.2.7"; }},
        {"versionBefore", [](tagRunResult& r) { r.cards[0].versionBefore = "256.0.0"; }},
        {"versionBefore", [](tagRunResult& r) { r.cards[0].versionBefore = "1.2"; }},
        {"versionBefore", [](tagRunResult& r) { r.cards[0].versionBefore = "1.2.7.9"; }},
        {"bus position", [](tagRunResult& r) { r.cards[0].device = 32; }},
        {"repairedCycle", [](tagRunResult& r) { r.repairedCycle->runId = "x"; }},
        {"repairedCycle", [](tagRunResult& r) { r.repairedCycle->startTime = "/etc"; }},
    };
    for (const Case& c : cases) {
        tagRunResult r = CarriedCycle();
        c.change(r);
        const std::string problem = CarriedRunProblem(r);
        EXPECT_NE(problem.find(c.member), std::string::npos)
            << c.member << " changed, the check said \"" << problem << "\"";
    }
}

TEST(RunCopyNameFromNumbers, TheNameIsMadeOfTheParsedTimeAndIdAndNothingElse) {
    tagRunResult r = CarriedCycle();
    EXPECT_EQ(RunCopyName(r), std::optional<std::wstring>(L"run-20261208T110412Z-5be8a3c0.json"));
    r.startTime = "X/../../../../somewhere";
    EXPECT_FALSE(RunCopyName(r));
    r = CarriedCycle();
    r.runId = "..\\..\\5be8a3c00123456789abcdef0123";
    EXPECT_FALSE(RunCopyName(r));
}

}  // namespace
