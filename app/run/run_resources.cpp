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

// Every card object goes before any record, in index order: the order the run has always freed
// them in.
void ReleaseCards(std::vector<tagCardSlot>& cards) {
    for (tagCardSlot& slot : cards) slot.card.reset();
    cards.clear();
}
}  // namespace

void tagRunResources::MakeCardSlots(std::uint32_t count) {
    ReleaseCards(cards);
    // The slots cannot move, so the vector is made at its size instead of grown to it.
    cards = std::vector<tagCardSlot>(count);
}

void tagRunResources::ClearImage() {
    image.reset();
    imageSize = 0;
}

void tagRunResources::Release() {
    ClearImage();
    ReleaseCards(cards);
}

void SetDisplayRecovery(CDisplayDriverCycle* cycle) { displayRecovery = cycle; }

void RecoverDisplay() {
    if (CDisplayDriverCycle* cycle = displayRecovery.exchange(nullptr)) {
        cycle->BringDisplayBackAfterInterruption();
    }
}

bool StopCardPlays() {
    CPlayStop& stop = ProcessPlayStop();
    stop.Request();
    if (stop.WaitUntilIdle(kPlayStopLimitMilliseconds, ProcessWaitClock().nowMilliseconds)) {
        return true;
    }
    PrintAndLog(
        L"\n   The cards' plays did not stop within %u seconds: the display driver stays "
        L"disabled, so that it cannot take a card that is still being programmed. The next "
        L"logon, or the next run of the updater, enables it again.\n",
        static_cast<unsigned>(kPlayStopLimitMilliseconds / 1000));
    return false;
}

void CleanUpRun(CHostServices* host, bool fromConsoleControl) {
    if (host) host->consoleWindow.store(nullptr);
    // The cursor is cosmetic, and a redirected stdout has none to show.
    (void)platform::ConsoleShowCursor(true);
    if (fromConsoleControl) {
        // From here the run's own end writes no result: the process ends with this handler's code.
        const bool record = TakeOverResult();
        // The journal still says the display driver is disabled: left so, the next start repairs.
        if (StopCardPlays()) RecoverDisplay();
        if (record) WriteTakenOverResult(kConsoleControlExitCode, RunEnd::kInterrupted);
        CloseRunLogAs("interrupted", kConsoleControlExitCode);
    }
}
