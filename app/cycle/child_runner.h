// Starts the run's child processes one at a time and waits for them; owns the pipe they write into.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/child_process.h"

// Exit code of a child that cannot be started or whose code cannot be read.
constexpr std::uint32_t kNoExitCode = 42;
// The collected output is zero-terminated in a 65536-byte buffer.
constexpr std::size_t kCollectedOutputLimit = 65535;

// The clock of the timed waits, in milliseconds, and the slice a wait blocks at a time. Tests give
// a clock that jumps, so a wait's length never depends on the machine's speed.
struct tagWaitClock {
    std::function<std::uint32_t()> nowMilliseconds;
    std::uint32_t sliceMilliseconds = 20;
};
tagWaitClock ProcessWaitClock();

// Owned by the update run; used from the main thread only.
class CChildRunner {
public:
    explicit CChildRunner(tagWaitClock clock = ProcessWaitClock());

    bool PipeReady() const { return pipe_.Valid().ok(); }

    // What happens to a child still running when its time limit has passed.
    enum class AtLimit { kLeave, kEnd };

    // Starts the command and waits for its end, with no limit or at most limitMilliseconds; the
    // pipe is drained meanwhile. Returns the exit code, kNoExitCode when it cannot be had (also
    // when the limit passed: the child then goes on by itself, or is ended with kEnd).
    std::uint32_t RunAndWait(const std::wstring& commandLine,
                             std::optional<std::uint32_t> limitMilliseconds = std::nullopt,
                             AtLimit atLimit = AtLimit::kLeave);

    // Starts the command and collects its output until it has ended: at most the first 65,535
    // bytes are kept, the rest is read and dropped. Empty when it cannot be started (started, when
    // given, then receives false). exitCode, when given, receives the child's code (kNoExitCode
    // when it cannot be had). A child still running after limitMilliseconds is ended, and counts
    // as one whose code cannot be had.
    std::string RunAndCollect(const std::wstring& commandLine, bool* started = nullptr,
                              std::uint32_t* exitCode = nullptr,
                              std::optional<std::uint32_t> limitMilliseconds = std::nullopt);

private:
    std::unique_ptr<platform::ChildProcess> Start(const std::wstring& commandLine);
    bool LimitPassed(std::uint32_t started, std::optional<std::uint32_t> limitMilliseconds) const;
    // The limit passed: the child is ended and the log says so.
    void EndAtLimit(platform::ChildProcess& child, const std::wstring& commandLine,
                    std::uint32_t limitMilliseconds);

    tagWaitClock clock_;
    platform::ChildOutputPipe pipe_;
};
