// The run lock's wait: a logon entry's start waits for a busy lock on the clock it is given, never
// for a squatted one, and an ordinary start does not wait at all.
#include "app/run/one_run.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using run_lock::RunLockState;

// A lock that answers from a script and a clock that only moves when paused.
struct tagScriptedLock {
    explicit tagScriptedLock(std::vector<RunLockState> script) : answers(std::move(script)) {}

    std::vector<RunLockState> answers;
    std::size_t attempts = 0;
    std::uint32_t now = 1000;
    std::vector<std::uint32_t> pauses;

    tagRunLockWait Wait() {
        tagRunLockWait wait;
        wait.attempt = [this] {
            run_lock::tagRunLockAttempt attempt;
            attempt.state = answers[std::min(attempts, answers.size() - 1)];
            ++attempts;
            return attempt;
        };
        wait.nowMilliseconds = [this] { return now; };
        wait.pause = [this](std::uint32_t ms) {
            pauses.push_back(ms);
            now += ms;
        };
        return wait;
    }
};

TEST(OneRun, AnOrdinaryStartTriesOnceAndALogonStartWaitsForTheLockToBeFreed) {
    tagScriptedLock once({RunLockState::kBusy});
    EXPECT_EQ(TakeRunLock(once.Wait(), 0).state, RunLockState::kBusy);
    EXPECT_EQ(once.attempts, 1u);
    EXPECT_TRUE(once.pauses.empty());

    tagScriptedLock freed({RunLockState::kBusy, RunLockState::kBusy, RunLockState::kHeld});
    EXPECT_EQ(TakeRunLock(freed.Wait(), kLogonRunLockWaitMilliseconds).state, RunLockState::kHeld);
    EXPECT_EQ(freed.attempts, 3u);
    EXPECT_EQ(freed.pauses,
              (std::vector<std::uint32_t>{kRunLockPollMilliseconds, kRunLockPollMilliseconds}));
}

TEST(OneRun, ALogonStartGivesUpAfterItsWaitAndNeverWaitsOnASquattedLock) {
    tagScriptedLock held({RunLockState::kBusy});
    EXPECT_EQ(TakeRunLock(held.Wait(), kLogonRunLockWaitMilliseconds).state, RunLockState::kBusy);
    std::uint32_t waited = 0;
    for (std::uint32_t pause : held.pauses) waited += pause;
    EXPECT_GE(waited, kLogonRunLockWaitMilliseconds);
    EXPECT_LT(waited, kLogonRunLockWaitMilliseconds + kRunLockPollMilliseconds);

    tagScriptedLock squatted({RunLockState::kSquatted});
    EXPECT_EQ(TakeRunLock(squatted.Wait(), kLogonRunLockWaitMilliseconds).state,
              RunLockState::kSquatted);
    EXPECT_EQ(squatted.attempts, 1u);
    EXPECT_TRUE(squatted.pauses.empty());
}

}  // namespace
