// Child processes of the run: start, timed or untimed wait with the pipe drained, output
// collection.
#include "app/cycle/child_runner.h"

#include "app/console/console_log.h"
#include "platform/clock.h"
#include "text/text_encoding.h"

tagWaitClock ProcessWaitClock() { return {&platform::ProcessMilliseconds, 20}; }

CChildRunner::CChildRunner(tagWaitClock clock) : clock_(std::move(clock)) {
    if (!pipe_.Valid()) {
        LogOnly(L"   The output pipe for child processes could not be created (%ls, error %u).\n",
                Utf8ToWide(pipe_.Error().call).c_str(), pipe_.Error().code);
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
    child.Terminate();
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
        if (child->WaitMilliseconds(clock_.sliceMilliseconds)) break;
        if (LimitPassed(started, limitMilliseconds)) {
            if (atLimit == AtLimit::kEnd) EndAtLimit(*child, commandLine, *limitMilliseconds);
            pipe_.Discard();
            return kNoExitCode;
        }
    }
    pipe_.Discard();
    return child->ExitCode().value_or(kNoExitCode);
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
        if (child->HasEnded()) {
            ended = true;
            break;
        }
        if (LimitPassed(startTime, limitMilliseconds)) {
            EndAtLimit(*child, commandLine, *limitMilliseconds);
            break;
        }
        if (got == 0) child->WaitMilliseconds(clock_.sliceMilliseconds);
    }
    // What the child wrote just before it ended is still in the pipe.
    readWhatIsThere();
    if (ended && exitCode) *exitCode = child->ExitCode().value_or(kNoExitCode);
    return collected;
}
