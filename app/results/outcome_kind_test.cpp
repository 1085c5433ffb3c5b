// The outcome kind against the exit code: every pair the callers are promised is produced, and no
// other, whatever facts a run records beside its code.
#include "app/results/outcome_kind.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "app/results/run_result.h"

namespace {

using Pair = std::pair<std::string, std::int32_t>;

// Which exit codes each kind may go with (docs/deployment.md and the README build on it).
const std::map<std::string, std::set<std::int32_t>>& AllowedCodes() {
    static const std::map<std::string, std::set<std::int32_t>> allowed = {
        {"updated", {0}},
        {"listed", {0, 1}},
        {"declined", {0}},
        {"unanswered", {13}},
        {"usageError", {12}},
        {"alreadyRunning", {11}},
        {"noCard", {1}},
        {"noLibrary", {1}},
        {"interrupted", {1}},
        {"restartPending", {0, 3, 4}},
        // 3 as well: a card's TDO mismatch after all retries is the exit code 3 of a restart too.
        {"failed", {2, 3, 4, 5, 6, 7, 8, 9, 10}},
    };
    return allowed;
}

std::string Describe(const tagRunResult& r) {
    std::ostringstream text;
    text << "exit " << r.exitCode << " end " << static_cast<int>(r.end) << " kind " << r.kind
         << " declined " << r.declined << " unanswered " << r.unanswered << " requested "
         << r.restartRequested << " pending " << r.restartPending << " empty "
         << (r.imageBytes && *r.imageBytes == 0);
    return text.str();
}

TEST(OutcomeKind, EveryAllowedPairOfKindAndExitCodeIsProducedAndNoOther) {
    std::set<Pair> produced;
    const RunEnd ends[] = {RunEnd::kRan,       RunEnd::kUsageError, RunEnd::kLockRefused,
                           RunEnd::kNoLibrary, RunEnd::kNoCard,     RunEnd::kInterrupted};
    for (std::int32_t code = 0; code <= 13; ++code) {
        for (RunEnd end : ends) {
            for (int facts = 0; facts < 64; ++facts) {
                tagRunResult r;
                r.exitCode = code;
                r.end = end;
                r.kind = facts & 1 ? "inventory" : "update";
                r.declined = (facts & 2) != 0;
                r.unanswered = (facts & 4) != 0;
                r.restartRequested = (facts & 8) != 0;
                r.restartPending = (facts & 16) != 0;
                if (facts & 32) r.imageBytes = 0;
                const std::string kind = OutcomeKind(r);
                const auto allowed = AllowedCodes().find(kind);
                ASSERT_NE(allowed, AllowedCodes().end()) << kind << " for " << Describe(r);
                EXPECT_TRUE(allowed->second.count(code)) << kind << " contradicts " << Describe(r);
                produced.insert({kind, code});
            }
        }
    }
    for (const auto& [kind, codes] : AllowedCodes()) {
        for (std::int32_t code : codes)
            EXPECT_TRUE(produced.count({kind, code})) << kind << " with " << code << " never made";
    }
}

// The facts that tell apart the kinds one code stands for, as the run records them.
TEST(OutcomeKind, FactsTellApartTheKindsOfOneCode) {
    tagRunResult r;
    r.kind = "update";
    r.imageBytes = 96213;
    EXPECT_EQ(OutcomeKind(r), "updated");
    r.imageBytes = 0;
    EXPECT_EQ(OutcomeKind(r), "listed") << "an empty image programs nothing";
    r.imageBytes = 96213;
    r.restartRequested = true;
    EXPECT_EQ(OutcomeKind(r), "restartPending");
    r.restartRequested = false;
    r.declined = true;
    EXPECT_EQ(OutcomeKind(r), "declined");

    tagRunResult one;
    one.exitCode = 1;
    one.kind = "inventory";
    EXPECT_EQ(OutcomeKind(one), "listed");
    one.end = RunEnd::kNoCard;
    EXPECT_EQ(OutcomeKind(one), "noCard");
    one.end = RunEnd::kNoLibrary;
    EXPECT_EQ(OutcomeKind(one), "noLibrary");
    one.end = RunEnd::kInterrupted;
    EXPECT_EQ(OutcomeKind(one), "interrupted");

    // 3 and 4: a restart still owed, or a card's code.
    for (std::int32_t code : {3, 4}) {
        tagRunResult owed;
        owed.exitCode = code;
        EXPECT_EQ(OutcomeKind(owed), "failed") << code;
        owed.restartPending = true;
        EXPECT_EQ(OutcomeKind(owed), "restartPending") << code;
    }
}

}  // namespace
