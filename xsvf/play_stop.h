// Stopping the cards' plays from outside (Ctrl+C, the console window closed): the players see the
// request between XSVF commands, and whoever stops them waits until no register user is left.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// The result of a play that was stopped before XCOMPLETE; the run that stops it ends the process,
// so it never becomes an exit code.
inline constexpr std::int32_t XSVF_STOPPED = 11;

// Shared by the stopping thread, the card workers and the run's thread. Every user of a card's
// registers during the listing and the programming step counts itself in (CPlayStop::Use) and,
// once counted in, looks at Requested(): either it sees the request or the stopping thread sees it
// counted, so no register is written after WaitUntilIdle has returned true.
class CPlayStop {
public:
    void Request() { requested_.store(true); }
    bool Requested() const { return requested_.load(); }

    // Counts a register user in for its lifetime. A null stop counts nothing.
    class Use {
    public:
        explicit Use(CPlayStop* stop) : stop_(stop) {
            if (stop_) stop_->users_.fetch_add(1);
        }
        ~Use() { End(); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        // Counts out early (the user touches no register from here on).
        void End();
        bool StopRequested() const { return stop_ && stop_->Requested(); }

    private:
        CPlayStop* stop_;
    };

    // Waits until no user is counted in or limitMilliseconds have passed on the clock, waking at
    // least every sliceMilliseconds; true when none is left.
    bool WaitUntilIdle(std::uint32_t limitMilliseconds,
                       const std::function<std::uint32_t()>& nowMilliseconds,
                       std::uint32_t sliceMilliseconds = 20);

private:
    std::atomic<bool> requested_{false};
    std::atomic<std::uint32_t> users_{0};
    std::mutex idleLock_;  // with idleSignal_, wakes the waiter at the last user's end
    std::condition_variable idleSignal_;
};

// The process's one stop: the console-control handler has no other way to reach the plays.
CPlayStop& ProcessPlayStop();
