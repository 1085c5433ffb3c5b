// The programming workers: what they wrote is visible once they are counted, and nothing outlives
// its owner, not even when the programming step is left by an exception.
#include "app/programming/card_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
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

// Gives the slot its card and leaves the test a reference to it.
template <typename Card, typename... Args>
Card& PlaceCard(tagCardSlot& slot, Args&&... args) {
    auto card = std::make_unique<Card>(std::forward<Args>(args)...);
    Card& placed = *card;
    slot.card = std::move(card);
    return placed;
}

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
    tagCardSlot cards[2];
    PlaceCard<CThrowingCard>(cards[0]);
    const CSlowCard& slow = PlaceCard<CSlowCard>(cards[1]);
    const tagProgrammingJob job{cards, false};
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
    tagCardSlot cards[1];
    PlaceCard<CGatedCard>(cards[0], go.get_future().share());
    std::vector<std::uint32_t> periods;
    tagProgrammingJob job{cards, false};
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
    EXPECT_TRUE(cards[0].outcome.programmed);
}

// After the settling pause each programmed card's version is read again: a play without error that
// leaves an erased version, or none where the listing read one, fails the card; an unchanged
// version is no failure, and a card that answered neither before nor after is not verified.
TEST(ProgrammingStep, AVersionThatIsErasedOrUnreadableAfterAGoodPlayFailsTheCard) {
    const int results[5] = {0, 0, 3, 0, 0};
    const std::wstring after[5] = {kErasedVersion, L"1.2.7", kErasedVersion, kUnreadableVersion,
                                   kUnreadableVersion};
    const std::wstring before[5] = {L"1.2.7", L"1.2.7", L"1.2.7", L"1.3.0", kUnreadableVersion};
    tagCardSlot cards[5];
    for (int i = 0; i < 5; ++i) {
        PlaceCard<CFixedCard>(cards[i], results[i], after[i]);
        cards[i].versionBefore = before[i];
    }
    tagProgrammingJob job{cards, false};
    testing::internal::CaptureStdout();
    const std::int32_t exitCode = ProgramAllCards(job);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(exitCode, kUnverifiedCardResult);
    const std::int32_t expected[5] = {kUnverifiedCardResult, 0, 3, kUnverifiedCardResult, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(cards[i].record.updateResult.load(), expected[i]) << "card " << i;
        EXPECT_TRUE(cards[i].outcome.programmed);
        EXPECT_EQ(cards[i].outcome.judged, i != 2) << "card " << i;
    }
    EXPECT_EQ(cards[1].outcome.verification, CardVerification::kVerified);
    EXPECT_EQ(cards[3].outcome.verification, CardVerification::kFailed);
    EXPECT_EQ(cards[4].outcome.verification, CardVerification::kNotVerified);
    EXPECT_EQ(cards[1].outcome.versionAfter, L"1.2.7");
    EXPECT_NE(
        console.find("Update failed on device at index 0 with error code 9\nUpdate failed on "
                     "device at index 2 with error code 3\nUpdate failed on device at index 3 "
                     "with error code 9\n"),
        std::string::npos)
        << console;
}

}  // namespace
