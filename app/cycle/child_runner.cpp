// Child processes of the run: start, timed or untimed wait with the pipe drained, output
// collection.
#include "app/cycle/child_runner.h"

#include "app/console/console_log.h"
#include "platform/clock.h"
#include "text/text_encoding.h"

tagWaitClock ProcessWaitClock() { return {&platform::ProcessMilliseconds, 20}; }

CChildRunner::CChildRunner(tagWaitClock clock) : clock_(std::move(clock)) {
    if (const auto ready = pipe_.Valid(); !ready) {
        LogOnly(L"   The output pipe for child processes could not be created (%ls, error %u).\n",
                Utf8ToWide(ready.error().call).c_str(), ready.error().code);
    }
}

std::unique_ptr<platform::ChildProcess> CChildRunner::Start(const std::wstring& commandLine) {
    auto child = platform::ChildProcess::Start(commandLine, pipe_);
    if (!child) {
        LogOnly(L"   Could not start: %ls (%ls, error %u).\n", commandLine.c_str(),
                Utf8ToWide(child.error().call).c_str(), child.error().code);
        return nullptr;
    }
    return std::move(child).value();
}

bool CChildRunner::LimitPassed(std::uint32_t started,
                               std::optional<std::uint32_t> limitMilliseconds) const {
    return limitMilliseconds && clock_.nowMilliseconds() - started >= *limitMilliseconds;
}

void CChildRunner::EndAtLimit(platform::ChildProcess& child, const std::wstring& commandLine,
                              std::uint32_t limitMilliseconds) {
    LogOnly(L"   %ls did not end within %u seconds: it was ended.\n", commandLine.c_str(),
            static_cast<unsigned>(limitMilliseconds / 1000));
    // The log says it was ended; one that would not end is left to itself, and either way the
    // caller has no exit code to report.
    (void)child.Terminate();
}

std::uint32_t CChildRunner::RunAndWait(const std::wstring& commandLine,
                                       std::optional<std::uint32_t> limitMilliseconds,
                                       AtLimit atLimit) {
    auto child = Start(commandLine);
    if (!child) return kNoExitCode;
    const std::uint32_t started = clock_.nowMilliseconds();
    while (true) {
        // Output nobody reads must not fill the pipe: a child blocked on it would never end.
        pipe_.Discard();
        // A wait that fails is a pause that did not happen: the limit still ends the loop.
        const auto ended = child->WaitMilliseconds(clock_.sliceMilliseconds);
        if (ended && *ended) break;
        if (LimitPassed(started, limitMilliseconds)) {
            if (atLimit == AtLimit::kEnd) EndAtLimit(*child, commandLine, *limitMilliseconds);
            pipe_.Discard();
            return kNoExitCode;
        }
    }
    pipe_.Discard();
    const auto code = child->ExitCode();
    return code ? *code : kNoExitCode;
}

std::string CChildRunner::RunAndCollect(const std::wstring& commandLine, bool* started,
                                        std::uint32_t* exitCode,
                                        std::optional<std::uint32_t> limitMilliseconds) {
    if (exitCode) *exitCode = kNoExitCode;
    auto child = Start(commandLine);
    if (started) *started = child != nullptr;
    if (!child) return {};
    const std::uint32_t startTime = clock_.nowMilliseconds();
    std::string collected;
    char chunk[4096];
    auto readWhatIsThere = [&]() {
        std::size_t total = 0;
        while (true) {
            const std::size_t room = kCollectedOutputLimit - collected.size();
            if (room == 0) {
                pipe_.Discard();
                return total;
            }
            const std::size_t got =
                pipe_.ReadAvailable(chunk, room < sizeof chunk ? room : sizeof chunk);
            if (got == 0) return total;
            collected.append(chunk, got);
            total += got;
        }
    };
    bool ended = false;
    while (true) {
        const std::size_t got = readWhatIsThere();
        const auto hasEnded = child->HasEnded();
        if (hasEnded && *hasEnded) {
            ended = true;
            break;
        }
        if (LimitPassed(startTime, limitMilliseconds)) {
            EndAtLimit(*child, commandLine, *limitMilliseconds);
            break;
        }
        // A pause only: the loop asks HasEnded itself, and the limit ends it.
        if (got == 0) (void)child->WaitMilliseconds(clock_.sliceMilliseconds);
    }
    // What the child wrote just before it ended is still in the pipe.
    readWhatIsThere();
    if (ended && exitCode) {
        const auto code = child->ExitCode();
        *exitCode = code ? *code : kNoExitCode;
    }
    return collected;
}
