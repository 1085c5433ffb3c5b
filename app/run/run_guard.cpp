// The top-level handler of the update run.
#include "app/run/run_guard.h"

#include <exception>
#include <string>

#include "app/console/console_log.h"
#include "app/host/host_services.h"
#include "app/results/result_takeover.h"
#include "app/results/run_log.h"
#include "app/run/run_resources.h"
#include "platform/console.h"
#include "text/text_encoding.h"

namespace {

int EndAfterFailure(const char* what, CHostServices* host,
                    const std::function<void()>& release) noexcept {
    // The power setting first: nothing below may keep it from being put back.
    if (host && !host->rebootStarted.load()) host->RestorePowerSettings();
    try {
        // The programming step joins its workers before an exception leaves it, so the run's data
        // is no longer in use.
        const bool record = TakeOverResult();
        RecoverDisplay();
        CleanUpRun(host, false);
        if (release) release();
        PrintAndLog(L"\n   Error: The update stopped: %ls.\n", WidenBytes(what).c_str());
        if (record) WriteTakenOverResult(kRunStoppedExitCode, RunEnd::kRan);
        CloseRunLogAs("failed", kRunStoppedExitCode);
        platform::ConsoleFlush();
    } catch (...) {
        // Out of memory even for the report: the exit code alone tells.
    }
    return kRunStoppedExitCode;
}

}  // namespace

int RunPuttingTheHostBackOnFailure(const std::function<int()>& run,
                                   const std::function<CHostServices*()>& host,
                                   const std::function<void()>& release) {
    try {
        return run();
    } catch (const std::exception& failure) {
        return EndAfterFailure(failure.what(), host ? host() : nullptr, release);
    } catch (...) {
        return EndAfterFailure("unknown failure", host ? host() : nullptr, release);
    }
}
