// Starting, counting and joining the per-card programming workers.
#include "app/card_workers.h"

#include "device/kseries.h"

CCardWorkers::~CCardWorkers() {
    for (std::thread& worker : threads_) {
        if (worker.joinable()) worker.join();
    }
}

void CCardWorkers::Start(CDevBase* card, tagDeviceUpdate* record) {
    threads_.reserve(threads_.size() + 1);  // a failed reserve leaves no thread without an owner
    threads_.emplace_back([this, card, record] {
        try {
            card->Update(record);
        } catch (...) {
            std::lock_guard<std::mutex> hold(failureLock_);
            if (!failure_) failure_ = std::current_exception();
        }
        // Release: the run's thread reads the record only after it has seen this count.
        returned_.fetch_add(1, std::memory_order_release);
    });
}

bool CCardWorkers::AllReturned() const {
    return returned_.load(std::memory_order_acquire) == threads_.size();
}

void CCardWorkers::JoinAll() {
    for (std::thread& worker : threads_) {
        if (worker.joinable()) worker.join();
    }
    if (failure_) std::rethrow_exception(failure_);
}
