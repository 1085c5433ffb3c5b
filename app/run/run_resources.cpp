// The run's cards, records and image, and the clean-up routine shared with the console-control
// handler.
#include "app/run/run_resources.h"

#include <atomic>

#include "app/console/console_log.h"
#include "app/cycle/child_runner.h"
#include "app/cycle/display_driver_cycle.h"
#include "app/host/host_services.h"
#include "app/results/result_takeover.h"
#include "app/results/run_log.h"
#include "platform/console.h"
#include "xsvf/play_stop.h"

namespace {
// Process-wide: the console-control handler runs on a thread of its own and is handed nothing, and
// this is how it reaches the running cycle; set and cleared by the run.
std::atomic<CDisplayDriverCycle*> displayRecovery{nullptr};
}  // namespace

std::vector<CKSeries*> tagRunResources::CardPointers() const {
    std::vector<CKSeries*> pointers;
    pointers.reserve(cards.size());
    for (const auto& card : cards) pointers.push_back(card.get());
    return pointers;
}

void tagRunResources::ClearImage() {
    image.reset();
    imageSize = 0;
}

void tagRunResources::Release() {
    ClearImage();
    cards.clear();
    records.reset();
}

void SetDisplayRecovery(CDisplayDriverCycle* cycle) { displayRecovery = cycle; }

void RecoverDisplay() {
    if (CDisplayDriverCycle* cycle = displayRecovery.exchange(nullptr)) {
        cycle->BringDisplayBackAfterInterruption();
    }
}

void StopCardPlays() {
    CPlayStop& stop = ProcessPlayStop();
    stop.Request();
    if (!stop.WaitUntilIdle(kPlayStopLimitMilliseconds, ProcessWaitClock().nowMilliseconds)) {
        LogOnly(L"   The cards' plays did not stop within %u seconds.\n",
                static_cast<unsigned>(kPlayStopLimitMilliseconds / 1000));
    }
}

void CleanUpRun(CHostServices* host, bool fromConsoleControl) {
    if (host) host->consoleWindow.store(nullptr);
    // The cursor is cosmetic, and a redirected stdout has none to show.
    (void)platform::ConsoleShowCursor(true);
    if (fromConsoleControl) {
        // From here the run's own end writes no result: the process ends with this handler's code.
        const bool record = TakeOverResult();
        StopCardPlays();
        RecoverDisplay();
        if (record) WriteTakenOverResult(kConsoleControlExitCode, RunEnd::kInterrupted);
        CloseRunLogAs("interrupted", kConsoleControlExitCode);
    }
}
