// Counting the register users of the programming step and waiting for them to be gone.
#include "xsvf/play_stop.h"

#include <chrono>

void CPlayStop::Use::End() {
    if (!stop_) return;
    CPlayStop* stop = stop_;
    stop_ = nullptr;
    // Under the lock, so a waiter between its check and its sleep cannot miss the wake-up.
    std::lock_guard<std::mutex> hold(stop->idleLock_);
    stop->users_.fetch_sub(1);
    stop->idleSignal_.notify_all();
}

bool CPlayStop::WaitUntilIdle(std::uint32_t limitMilliseconds,
                              const std::function<std::uint32_t()>& nowMilliseconds,
                              std::uint32_t sliceMilliseconds) {
    const std::uint32_t started = nowMilliseconds();
    std::unique_lock<std::mutex> hold(idleLock_);
    while (users_.load() != 0) {
        if (nowMilliseconds() - started >= limitMilliseconds) return false;
        idleSignal_.wait_for(hold, std::chrono::milliseconds(sliceMilliseconds));
    }
    return true;
}

CPlayStop& ProcessPlayStop() {
    // Process-wide: the console-control handler stops the plays from a thread handed nothing.
    static CPlayStop stop;
    return stop;
}
