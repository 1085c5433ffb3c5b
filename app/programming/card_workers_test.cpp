// The programming workers: what they wrote is visible once they are counted, and nothing outlives
// its owner, not even when the programming step is left by an exception.
#include "app/programming/card_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#include "app/programming/card_verification.h"
#include "app/programming/programming.h"
#include "device/kseries.h"

namespace {

// A card that waits for the test's go, then fails with diagnostics as the player would.
class CGatedCard : public CKSeries {
public:
    explicit CGatedCard(std::shared_future<void> go) : go_(std::move(go)) {}
    int Update(tagDeviceUpdate* record) override {
        go_.wait();
        record->failure.commandIndex = 12;
        record->failure.captured = {0xAB, 0xCD};
        record->percentDone.store(40, std::memory_order_relaxed);
        record->updateResult.store(3, std::memory_order_release);
        return 3;
    }

private:
    std::shared_future<void> go_;
};

// A card whose programming takes a while and then notes that it ran to its end.
class CSlowCard : public CKSeries {
public:
    int Update(tagDeviceUpdate* record) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        record->percentDone.store(100, std::memory_order_relaxed);
        record->updateResult.store(0, std::memory_order_release);
        finished.store(true);
        return 0;
    }
    std::atomic<bool> finished{false};
};

class CThrowingCard : public CKSeries {
public:
    int Update(tagDeviceUpdate*) override { throw std::bad_alloc(); }
};

TEST(CardWorkers, CountedWorkersHavePublishedEverythingTheyWrote) {
    std::promise<void> go;
    std::shared_future<void> gate = go.get_future().share();
    CGatedCard first(gate), second(gate);
    tagDeviceUpdate records[2];
    {
        CCardWorkers workers;
        workers.Start(&first, &records[0]);
        workers.Start(&second, &records[1]);
        EXPECT_FALSE(workers.AllReturned());
        go.set_value();
        while (!workers.AllReturned()) std::this_thread::yield();
        // Read before the join: the count alone must make the diagnostics safe to read.
        for (const tagDeviceUpdate& record : records) {
            EXPECT_EQ(record.updateResult.load(std::memory_order_relaxed), 3);
            EXPECT_EQ(record.failure.commandIndex, 12);
            EXPECT_EQ(record.failure.captured, (std::vector<std::uint8_t>{0xAB, 0xCD}));
        }
        workers.JoinAll();
        EXPECT_TRUE(workers.AllReturned());
    }
}

TEST(CardWorkers, AnExceptionOfOneCardComesBackAfterEveryWorkerHasEnded) {
    CSlowCard slow;
    CThrowingCard throwing;
    tagDeviceUpdate records[2];
    CCardWorkers workers;
    workers.Start(&throwing, &records[0]);
    workers.Start(&slow, &records[1]);
    EXPECT_THROW(workers.JoinAll(), std::bad_alloc);
    EXPECT_TRUE(slow.finished.load());
    EXPECT_TRUE(workers.AllReturned());
}

TEST(CardWorkers, LeavingTheStepByAnExceptionWaitsForTheWorkers) {
    CSlowCard slow;
    tagDeviceUpdate record;
    try {
        CCardWorkers workers;
        workers.Start(&slow, &record);
        throw std::runtime_error("the next thread cannot start");
    } catch (const std::runtime_error&) {
        EXPECT_TRUE(slow.finished.load());
    }
}

// The whole programming step: the failing card's exception leaves it only once the other card's
// worker has ended, so the caller's clean-up frees nothing that is still in use.
TEST(ProgrammingStep, ExceptionOfAWorkerLeavesTheStepAfterEveryWorkerEnded) {
    CSlowCard slow;
    CThrowingCard throwing;
    CKSeries* cards[2] = {&throwing, &slow};
    tagDeviceUpdate records[2];
    const tagProgrammingJob job{cards, records, nullptr, 2, false};
    testing::internal::CaptureStdout();
    EXPECT_THROW(ProgramAllCards(job), std::bad_alloc);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(slow.finished.load());
}

// A card whose play ends at once with the given result and which then reports the given version.
class CFixedCard : public CKSeries {
public:
    CFixedCard(int result, std::wstring version) : result_(result), version_(std::move(version)) {}
    int Update(tagDeviceUpdate* record) override {
        record->percentDone.store(100, std::memory_order_relaxed);
        record->updateResult.store(result_, std::memory_order_release);
        return result_;
    }
    std::wstring GetFpgaVersion(tagDeviceUpdate*) override { return version_; }

private:
    int result_;
    std::wstring version_;
};

TEST(CardWorkers, TheWaitEndsWhenTheLastWorkerHasReturned) {
    std::promise<void> go;
    CGatedCard card(go.get_future().share());
    tagDeviceUpdate record;
    CCardWorkers workers;
    workers.Start(&card, &record);
    EXPECT_FALSE(workers.WaitForAllReturned(0));
    go.set_value();
    // No bound on how long that takes: the wait must come back by the workers' signal, and the
    // test's time-out is the only limit.
    EXPECT_TRUE(workers.WaitForAllReturned(24u * 3600u * 1000u));
    workers.JoinAll();
}

// The refreshes are paced by the wait alone: the line shows the same sequence whatever the wait
// does, and the loop ends with the refresh that sees the card done.
TEST(ProgrammingStep, TheProgressLineRefreshesOncePerWaitOfItsPeriod) {
    std::promise<void> go;
    CGatedCard card(go.get_future().share());
    CKSeries* cards[1] = {&card};
    tagDeviceUpdate records[1];
    tagCardOutcome outcomes[1];
    std::vector<std::uint32_t> periods;
    tagProgrammingJob job{cards, records, nullptr, 1, false, outcomes};
    job.progressWait = [&](CCardWorkers& workers, std::uint32_t milliseconds) {
        periods.push_back(milliseconds);
        if (periods.size() < 3) return;
        go.set_value();
        workers.WaitForAllReturned(24u * 3600u * 1000u);
    };
    testing::internal::CaptureStdout();
    PlayAllCards(job);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(periods, (std::vector<std::uint32_t>{250, 250, 250}));
    EXPECT_EQ(console,
              "Programming the FPGA:....... 00% \b\b\b\b00%|\b\b\b\b00%/\b\b\b\b100%-\b \n\n");
    EXPECT_TRUE(outcomes[0].programmed);
}

// After the settling pause each programmed card's version is read again: a play without error that
// leaves an erased version, or none where the listing read one, fails the card; an unchanged
// version is no failure, and a card that answered neither before nor after is not verified.
TEST(ProgrammingStep, AVersionThatIsErasedOrUnreadableAfterAGoodPlayFailsTheCard) {
    CFixedCard erased(0, kErasedVersion), same(0, L"1.2.7"), failedPlay(3, kErasedVersion),
        unreadable(0, kUnreadableVersion), silent(0, kUnreadableVersion);
    CKSeries* cards[5] = {&erased, &same, &failedPlay, &unreadable, &silent};
    tagDeviceUpdate records[5];
    tagCardOutcome outcomes[5];
    const std::wstring before[5] = {L"1.2.7", L"1.2.7", L"1.2.7", L"1.3.0", kUnreadableVersion};
    tagProgrammingJob job{cards, records, nullptr, 5, false, outcomes};
    job.versionsBefore = before;
    testing::internal::CaptureStdout();
    const std::int32_t exitCode = ProgramAllCards(job);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(exitCode, kUnverifiedCardResult);
    const std::int32_t expected[5] = {kUnverifiedCardResult, 0, 3, kUnverifiedCardResult, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(records[i].updateResult.load(), expected[i]) << "card " << i;
        EXPECT_TRUE(outcomes[i].programmed);
        EXPECT_EQ(outcomes[i].judged, i != 2) << "card " << i;
    }
    EXPECT_EQ(outcomes[1].verification, CardVerification::kVerified);
    EXPECT_EQ(outcomes[3].verification, CardVerification::kFailed);
    EXPECT_EQ(outcomes[4].verification, CardVerification::kNotVerified);
    EXPECT_EQ(outcomes[1].versionAfter, L"1.2.7");
    EXPECT_NE(
        console.find("Update failed on device at index 0 with error code 9\nUpdate failed on "
                     "device at index 2 with error code 3\nUpdate failed on device at index 3 "
                     "with error code 9\n"),
        std::string::npos)
        << console;
}

}  // namespace
