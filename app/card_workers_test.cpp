// The programming workers: what they wrote is visible once they are counted, and nothing outlives
// its owner, not even when the programming step is left by an exception.
#include "app/card_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#include "app/programming.h"
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

}  // namespace
