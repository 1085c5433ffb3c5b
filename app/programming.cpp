// The progress line, worker start, port closing, settling pause and the failure report.
#include "app/programming.h"

#include <atomic>
#include <string>
#include <thread>

#include "app/console_log.h"
#include "device/kseries.h"
#include "hwaccess/pci_scan.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "xsvf/jtag_port.h"

namespace {

// Workers are detached and may outlive the run's locals, so their finish count is process-wide.
std::atomic<std::uint32_t> finishedWorkers{0};

void BusyPauseMilliseconds(std::uint32_t milliseconds) {
    const std::uint32_t start = platform::ProcessMilliseconds();
    while (platform::ProcessMilliseconds() - start < milliseconds) {
    }
}

void StartWorkers(const tagProgrammingJob& job) {
    finishedWorkers.store(0);
    for (std::uint32_t i = 0; i < job.cardCount; ++i) {
        CDevBase* card = job.cards[i];
        tagDeviceUpdate* record = &job.records[i];
        std::thread([card, record] {
            card->Update(record);
            finishedWorkers.fetch_add(1);
        }).detach();
    }
}

std::uint32_t AveragePercent(const tagProgrammingJob& job) {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < job.cardCount; ++i) {
        tagDeviceUpdate& record = job.records[i];
        if (record.updateResult.load(std::memory_order_relaxed) != 0) {
            record.percentDone.store(100, std::memory_order_relaxed);
        }
        sum += record.percentDone.load(std::memory_order_relaxed);
    }
    return sum / job.cardCount;
}

void ShowProgressUntilDone(const tagProgrammingJob& job) {
    static const wchar_t* const kSpinner[4] = {L"|", L"/", L"-", L"\\"};
    int phase = 0;
    int beepCount = 0;
    for (bool done = false; !done;) {
        BusyPauseMilliseconds(kProgressRefreshMilliseconds);
        // Read before averaging: a worker that has returned has written its last percentage.
        const bool allReturned = finishedWorkers.load() == job.cardCount;
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

void LogFailureDetails(const tagPciInfo& pci, const tagDeviceUpdate& record) {
    const tagXsvfFailure& f = record.failure;
    // The console line has no break of its own; the details start a line of their own in the log.
    LogOnly(
        L"\n   Card at PCIe Bus 0x%02X%X%X failed: command %d (0x%02X) at byte offset %u, error "
        L"code %d",
        pci.busNumber, pci.deviceNumber, pci.functionNumber, static_cast<int>(f.commandIndex),
        static_cast<unsigned>(f.command), static_cast<unsigned>(f.byteOffset),
        static_cast<int>(record.updateResult.load()));
    if (f.code == 2 || f.code == 3) {
        LogOnly(L"; TDO expected %hs, captured %hs, mask %hs", HexBytes(f.expected).c_str(),
                HexBytes(f.captured).c_str(), HexBytes(f.mask).c_str());
    }
}

}  // namespace

std::int32_t ProgramAllCards(const tagProgrammingJob& job) {
    PrintAndLog(L"Programming the FPGA:....... 00%% ");
    const std::uint32_t startTime = platform::ProcessMilliseconds();
    StartWorkers(job);
    ShowProgressUntilDone(job);
    PrintAndLog(L"\b \n\n");

    for (std::uint32_t i = 0; i < job.cardCount; ++i) closeJtagPort(&job.records[i], 1);

    const std::uint32_t settleStart = platform::ProcessMilliseconds();
    while ((platform::ProcessMilliseconds() - settleStart) / 1000 < 5) {
    }

    std::int32_t exitCode = 0;
    for (std::uint32_t i = 0; i < job.cardCount; ++i) {
        const std::int32_t result = job.records[i].updateResult.load();
        if (result == 0) continue;
        exitCode = result;
        PrintAndLog(L"Update failed on device at index %d with error code %d", static_cast<int>(i),
                    static_cast<int>(result));
        if (job.pciInfo) LogFailureDetails(job.pciInfo[i], job.records[i]);
    }
    if (exitCode == 0) {
        const std::uint32_t seconds = (platform::ProcessMilliseconds() - startTime) / 1000;
        PrintAndLog(L"Execution time = %.d seconds", static_cast<int>(seconds));
    }
    PrintAndLog(L"\n");
    return exitCode;
}
