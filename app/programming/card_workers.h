// The programming workers: one thread per card, owned and joined by the programming step.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "xsvf/device_update.h"

class CDevBase;

// Created and used by the run's thread only. Every worker runs one card's Update on that card's
// record; the destructor waits for all of them, so nothing a worker reads can be freed under it,
// also when the step is left by an exception.
class CCardWorkers {
public:
    CCardWorkers() = default;
    CCardWorkers(const CCardWorkers&) = delete;
    CCardWorkers& operator=(const CCardWorkers&) = delete;
    ~CCardWorkers();

    // Starts a worker for the card; throws std::system_error when the thread cannot start. When
    // given, finishedAt receives the process clock at the end of the card's play (it must outlive
    // the worker).
    void Start(CDevBase* card, tagDeviceUpdate* record,
               std::atomic<std::uint32_t>* finishedAt = nullptr);

    // True once every started worker has returned; everything they wrote is then visible.
    bool AllReturned() const;

    // Sleeps until every started worker has returned or the milliseconds have passed, whichever
    // comes first; returns AllReturned().
    bool WaitForAllReturned(std::uint32_t milliseconds);

    // Waits for every worker, then rethrows the first exception that escaped a card's Update.
    void JoinAll();

private:
    std::vector<std::thread> threads_;
    std::atomic<std::uint32_t> returned_{0};
    std::mutex returnedLock_;  // with returnedSignal_, wakes the waiting run at the last return
    std::condition_variable returnedSignal_;
    std::mutex failureLock_;
    std::exception_ptr failure_;  // guarded by failureLock_ until the workers are joined
};
