// The run lock's wait and what a refused start says.
#include "app/run/one_run.h"

#include "app/console/console_log.h"
#include "platform/clock.h"
#include "text/text_encoding.h"

tagRunLockWait ProcessRunLockWait() {
    tagRunLockWait wait;
    wait.nowMilliseconds = &platform::ProcessMilliseconds;
    wait.pause = &platform::PauseThread;
    return wait;
}

run_lock::tagRunLockAttempt TakeRunLock(const tagRunLockWait& wait,
                                        std::uint32_t waitMilliseconds) {
    const std::uint32_t start = waitMilliseconds > 0 ? wait.nowMilliseconds() : 0;
    for (;;) {
        run_lock::tagRunLockAttempt attempt = wait.attempt();
        if (attempt.state != run_lock::RunLockState::kBusy || waitMilliseconds == 0) return attempt;
        if (wait.nowMilliseconds() - start >= waitMilliseconds) return attempt;
        wait.pause(kRunLockPollMilliseconds);
    }
}

void ReportRunLockRefusal(const run_lock::tagRunLockAttempt& attempt) {
    const std::wstring name = Utf8ToWide(run_lock::kRunLockName);
    switch (attempt.state) {
        case run_lock::RunLockState::kHeld:
            return;
        case run_lock::RunLockState::kBusy:
            PrintAndLog(
                L"   Error: Another OvnK740FpgaUpdater run is in progress on this computer.\n"
                L"   Nothing was listed, programmed or changed: wait until it has ended, then "
                L"start again.\n\n");
            return;
        case run_lock::RunLockState::kSquatted:
            PrintAndLog(
                L"   Error: The lock %ls was created by a program without administrator rights.\n"
                L"   Nothing was listed, programmed or changed.\n\n",
                name.c_str());
            return;
        case run_lock::RunLockState::kUnavailable:
            PrintAndLog(
                L"   Error: The lock %ls that keeps updates apart cannot be had (%ls, error %u).\n"
                L"   Nothing was listed, programmed or changed.\n\n",
                name.c_str(), Utf8ToWide(attempt.error.call).c_str(),
                static_cast<unsigned>(attempt.error.code));
            return;
    }
}
