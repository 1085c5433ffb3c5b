// The progress line, worker start, port closing, settling pause and the failure report.
#include "app/programming/programming.h"

#include <atomic>
#include <string>
#include <vector>

#include "app/console/console_log.h"
#include "app/programming/card_verification.h"
#include "app/programming/card_workers.h"
#include "device/kseries.h"
#include "hwaccess/pci_scan.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "xsvf/jtag_port.h"
#include "xsvf/play_stop.h"

namespace {

// The pause between two looks at the clock and the stop while the cards settle after their plays.
constexpr std::uint32_t kSettlePauseMilliseconds = 20;

// A card whose record already carries a result (its registers could not be mapped) gets no
// worker. Returns which cards were started.
std::vector<bool> StartWorkers(const tagProgrammingJob& job, CCardWorkers& workers,
                               std::vector<std::atomic<std::uint32_t>>& finishedAt) {
    std::vector<bool> started(job.cards.size(), false);
    for (std::size_t i = 0; i < job.cards.size(); ++i) {
        tagCardSlot& slot = job.cards[i];
        if (slot.record.updateResult.load(std::memory_order_relaxed) != 0) continue;
        workers.Start(slot.card.get(), &slot.record, &finishedAt[i]);
        started[i] = true;
    }
    return started;
}

std::uint32_t AveragePercent(const tagProgrammingJob& job) {
    std::uint32_t sum = 0;
    for (tagCardSlot& slot : job.cards) {
        tagDeviceUpdate& record = slot.record;
        // A failed card counts as done so the line can reach its end; a play stopped by Ctrl+C
        // keeps its percentage, since the line must not claim a finished update it never saw.
        const std::int32_t result = record.updateResult.load(std::memory_order_acquire);
        if (result != 0 && result != XSVF_STOPPED) {
            record.percentDone.store(100, std::memory_order_relaxed);
        }
        sum += record.percentDone.load(std::memory_order_relaxed);
    }
    return sum / static_cast<std::uint32_t>(job.cards.size());
}

void ShowProgressUntilDone(const tagProgrammingJob& job, CCardWorkers& workers) {
    static const wchar_t* const kSpinner[4] = {L"|", L"/", L"-", L"\\"};
    int phase = 0;
    int beepCount = 0;
    for (bool done = false; !done;) {
        if (job.progressWait) {
            job.progressWait(workers, kProgressRefreshMilliseconds);
        } else {
            workers.WaitForAllReturned(kProgressRefreshMilliseconds);
        }
        // Read before averaging: a worker that has returned has written its last percentage.
        const bool allReturned = workers.AllReturned();
        const std::uint32_t average = AveragePercent(job);
        PrintAndLog(L"\b\b\b\b%02d%%", static_cast<int>(average));
        PrintAndLog(kSpinner[phase]);
        if (phase == 3 && job.beep && ++beepCount == 4) {
            platform::ConsoleWriteNarrow("\a");
            beepCount = 0;
        }
        phase = (phase + 1) % 4;
        // A successful image with bytes after XCOMPLETE never shows 100, so finished workers end
        // the loop as well.
        done = average == 100 || allReturned;
    }
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text.empty() ? "-" : text;
}

// In the log the details take a whole line of their own after the card's failure line.
void LogFailureDetails(const tagCardSlot& slot) {
    const tagPciInfo& pci = slot.pci;
    const tagDeviceUpdate& record = slot.record;
    const tagCardOutcome& outcome = slot.outcome;
    const std::int32_t result = record.updateResult.load();
    if (result == kUnverifiedCardResult) {
        LogOnly(
            L"\n   Card at PCIe Bus 0x%02X%X%X failed verification: its FPGA version reads %ls "
            L"(%ls) after a play without error, error code %d\n",
            pci.busNumber, pci.deviceNumber, pci.functionNumber, outcome.versionAfter.c_str(),
            VersionProblemWord(JudgeVersionAfterProgramming(outcome.versionAfter)),
            static_cast<int>(result));
        return;
    }
    if (result == kUnmappedCardResult) {
        LogOnly(
            L"\n   Card at PCIe Bus 0x%02X%X%X was not programmed: its register aperture is not "
            L"mapped\n",
            pci.busNumber, pci.deviceNumber, pci.functionNumber);
        return;
    }
    const tagXsvfFailure& f = record.failure;
    LogOnly(
        L"\n   Card at PCIe Bus 0x%02X%X%X failed: command %d (0x%02X) at byte offset %u, error "
        L"code %d",
        pci.busNumber, pci.deviceNumber, pci.functionNumber, static_cast<int>(f.commandIndex),
        static_cast<unsigned>(f.command), static_cast<unsigned>(f.byteOffset),
        static_cast<int>(result));
    if (f.code == 2 || f.code == 3) {
        LogOnly(L"; TDO expected %hs, captured %hs, mask %hs", HexBytes(f.expected).c_str(),
                HexBytes(f.captured).c_str(), HexBytes(f.mask).c_str());
    }
    LogOnly(L"\n");
}

// Each programmed card's version, read over the same I2C path as the listing. A play without error
// must leave a configuration that names itself; one that does not fails the card, unless the card
// never answered that path at all.
void VerifyProgrammedCards(const tagProgrammingJob& job, const std::vector<bool>& started) {
    for (std::size_t i = 0; i < job.cards.size(); ++i) {
        if (!started[i]) continue;
        tagCardSlot& slot = job.cards[i];
        const std::wstring version = slot.card->GetFpgaVersion(&slot.record);
        slot.outcome.versionAfter = version;
        if (slot.record.updateResult.load() != 0) continue;
        const bool answeredBefore =
            !slot.versionBefore || JudgeVersionAfterProgramming(*slot.versionBefore) !=
                                       VersionAfterProgramming::kUnreadable;
        const CardVerification verification = VerifyCardAfterPlay(answeredBefore, version);
        slot.outcome.judged = true;
        slot.outcome.verification = verification;
        if (verification == CardVerification::kFailed)
            slot.record.updateResult.store(kUnverifiedCardResult);
    }
}

}  // namespace

std::vector<bool> PlayAllCards(const tagProgrammingJob& job) {
    PrintAndLog(L"Programming the FPGA:....... 00%% ");
    const std::uint32_t startTime = platform::ProcessMilliseconds();
    std::vector<std::atomic<std::uint32_t>> finishedAt(job.cards.size());
    std::vector<bool> started;
    {
        CCardWorkers workers;
        started = StartWorkers(job, workers, finishedAt);
        ShowProgressUntilDone(job, workers);
        // Every card is at 100 or has failed, so the workers are returning: wait for the last of
        // them before the ports, the records and the diagnostics are touched.
        workers.JoinAll();
    }
    PrintAndLog(L"\b \n\n");
    for (std::size_t i = 0; i < job.cards.size(); ++i) {
        tagCardOutcome& outcome = job.cards[i].outcome;
        outcome.programmed = started[i];
        if (started[i]) outcome.milliseconds = finishedAt[i].load() - startTime;
    }
    return started;
}

std::int32_t ProgramAllCards(const tagProgrammingJob& job) {
    const std::uint32_t startTime = platform::ProcessMilliseconds();
    CPlayStop::Use registers(job.stop);
    const std::vector<bool> started = PlayAllCards(job);

    // A stopped play's worker gave its pins back itself.
    for (std::size_t i = 0; i < job.cards.size(); ++i) {
        tagDeviceUpdate& record = job.cards[i].record;
        if (started[i] && record.updateResult.load() != XSVF_STOPPED) closeJtagPort(&record, 1);
    }
    if (registers.StopRequested()) return XSVF_STOPPED;

    // Five seconds before the versions are read again. Slept in short pauses rather than spun:
    // a stop is still seen within one, and the processor is left to the rest of the machine.
    const std::uint32_t settleStart = platform::ProcessMilliseconds();
    while ((platform::ProcessMilliseconds() - settleStart) / 1000 < 5 &&
           !registers.StopRequested()) {
        platform::PauseThread(kSettlePauseMilliseconds);
    }
    if (registers.StopRequested()) return XSVF_STOPPED;
    VerifyProgrammedCards(job, started);
    registers.End();

    std::int32_t exitCode = kExitSuccess;
    for (std::size_t i = 0; i < job.cards.size(); ++i) {
        const std::int32_t result = job.cards[i].record.updateResult.load();
        if (result == 0) continue;
        // Each failure line is a line of its own: the line break before the next one, and the
        // step's closing "\n" after the last, so a single failure reads as it always did. In the
        // log the previous card's details have ended their line already.
        if (exitCode != kExitSuccess) {
            platform::ConsoleWriteWide(L"\n");
            LogOnlyLine(L"");
        }
        exitCode = result;
        PrintAndLog(L"Update failed on device at index %d with error code %d", static_cast<int>(i),
                    static_cast<int>(result));
        LogFailureDetails(job.cards[i]);
    }
    if (exitCode == kExitSuccess) {
        const std::uint32_t seconds = (platform::ProcessMilliseconds() - startTime) / 1000;
        PrintAndLog(L"Execution time = %.d seconds", static_cast<int>(seconds));
    }
    PrintAndLog(L"\n");
    return exitCode;
}
