// Starting, counting and joining the per-card programming workers.
#include "app/programming/card_workers.h"

#include <chrono>

#include "device/kseries.h"
#include "platform/clock.h"

CCardWorkers::~CCardWorkers() {
    for (std::thread& worker : threads_) {
        if (worker.joinable()) worker.join();
    }
}

void CCardWorkers::Start(CDevBase* card, tagDeviceUpdate* record,
                         std::atomic<std::uint32_t>* finishedAt) {
    threads_.reserve(threads_.size() + 1);  // a failed reserve leaves no thread without an owner
    threads_.emplace_back([this, card, record, finishedAt] {
        try {
            card->Update(record);
        } catch (...) {
            std::lock_guard<std::mutex> hold(failureLock_);
            if (!failure_) failure_ = std::current_exception();
        }
        if (finishedAt) finishedAt->store(platform::ProcessMilliseconds());
        // Release: the run's thread reads the record only after it has seen this count. The
        // count changes under the lock, so a waiter cannot miss the wake-up between its check
        // and its sleep.
        std::lock_guard<std::mutex> hold(returnedLock_);
        returned_.fetch_add(1, std::memory_order_release);
        returnedSignal_.notify_all();
    });
}

bool CCardWorkers::AllReturned() const {
    return returned_.load(std::memory_order_acquire) == threads_.size();
}

bool CCardWorkers::WaitForAllReturned(std::uint32_t milliseconds) {
    std::unique_lock<std::mutex> hold(returnedLock_);
    return returnedSignal_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                    [this] { return AllReturned(); });
}

void CCardWorkers::JoinAll() {
    for (std::thread& worker : threads_) {
        if (worker.joinable()) worker.join();
    }
    if (failure_) std::rethrow_exception(failure_);
}
