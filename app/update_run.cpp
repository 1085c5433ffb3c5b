// The update run in its order: host, options, banner, library, scan, image, listing, programming.
#include "app/update_run.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/cmdline.h"
#include "app/console_log.h"
#include "app/cycle_journal.h"
#include "app/driver_cycle.h"
#include "app/image_file.h"
#include "app/key_prompts.h"
#include "app/program_directory.h"
#include "app/programming.h"
#include "app/reboot_resume.h"
#include "app/run_guard.h"
#include "app/run_messages.h"
#include "app/run_resources.h"
#include "device/kseries.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/host_services.h"
#include "hwaccess/pci_scan.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/text_encoding.h"
#include "xsvf/calibration.h"
#include "xsvf/jtag_port.h"
#include "xsvf/xsvf_validate.h"

namespace {

constexpr std::uint32_t kInitialDelayCount = 40;

void PrintBanner() {
    PrintAndLog(L"%ls %d.%d.%d.%d\n", kProductName, kVersion[0], kVersion[1], kVersion[2],
                kVersion[3]);
    PrintAndLog(L"%ls %d", kCopyrightNotice,
                static_cast<int>(std::wcstol(kCopyrightYear, nullptr, 10)));
    PrintAndLog(L"\n\n");
}

void ClearImage(tagRunResources& run) {
    delete[] run.image;
    run.image = nullptr;
    run.imageSize = 0;
}

// A malformed image never reaches the hardware: the run goes on as without an image and ends with
// the code the player would have returned.
std::int32_t RefuseMalformedImage(tagRunResources& run) {
    tagXsvfValidation check = validateXsvf(run.image, static_cast<std::uint32_t>(run.imageSize));
    if (check.code == 0) return 0;
    PrintAndLog(
        L"   Error: The XSVF file is malformed: %ls (command %d at byte offset %u, error "
        L"code %d).\n   No card will be programmed.\n",
        Utf8ToWide(check.reason).c_str(), static_cast<int>(check.commandIndex),
        static_cast<unsigned>(check.byteOffset), static_cast<int>(check.code));
    ClearImage(run);
    return check.code;
}

void ListCards(const CCmdLine& options, tagRunResources& run, std::uint32_t& largestDelay) {
    CPciScan& scanner = ProgramPciScan();
    run.cardCount = scanner.cardCount;
    run.cards.assign(run.cardCount, nullptr);
    run.records = new tagDeviceUpdate[run.cardCount];
    PrintAndLog(L"   Found %d Orvane K740 graphics card%ls:\n", static_cast<int>(run.cardCount),
                run.cardCount == 1 ? L"" : L"s");

    for (std::uint32_t i = 0; i < run.cardCount; ++i) {
        const tagPciInfo& pci = scanner.devices->items[i];
        run.cards[i] = CreateDevice(&pci, options, static_cast<std::int32_t>(i));
        tagDeviceUpdate& record = run.records[i];
        record.pciHandle = pci.hDevice;
        record.regHandle = pci.hRegisters;
        record.gpioOut = 0;
        record.verifyWrites = 0;
        record.delayCount = kInitialDelayCount;
        record.bytesConsumed = 0;
        record.percentDone = 0;
        record.updateResult = 0;
        // Without its register window a card is listed but never programmed, and fails the run.
        const bool mapped = pci.hRegisters != 0;
        if (!mapped) record.updateResult = kUnmappedCardResult;
        if (run.imageSize > 0 && mapped) {
            record.imageCursor = run.image;
            record.imageSize = static_cast<std::uint32_t>(run.imageSize);
            openJtagPort(&record);
        }
        PrintAndLog(L"   PCIe Bus: 0x%02X%X%X   FPGA version: ", pci.busNumber, pci.deviceNumber,
                    pci.functionNumber);
        PrintAndLog(L"%ls", run.cards[i]->GetFpgaVersion(&record).c_str());
        PrintAndLog(L"\n");
        if (mapped && record.delayCount > largestDelay) largestDelay = record.delayCount;
    }
}

// Estimate, warning box and confirmation. False when the operator declined.
bool WarnAndConfirm(const CCmdLine& options, tagRunResources& run, std::uint32_t largestDelay) {
    const int estimate = UpdateEstimateMinutes(largestDelay);
    for (std::uint32_t i = 0; i < run.cardCount; ++i) run.records[i].delayCount = largestDelay;
    PrintAndLog(L"\n");
    PrintAndLog(L"   XSVF update file: %ls\n", Utf8ToWide(options.fileName).c_str());
    PrintAndLog(L"   Calibration... ");
    PrintAndLog(L" Done.\n   Update time estimate: %d minutes\n", estimate);
    platform::ConsoleSetTextAttribute(12);
    PrintAndLog(L"%ls", kWarningBox);
    platform::ConsoleSetTextAttribute(7);
    if (options.quiet || ConfirmToContinue()) return true;
    PrintAndLog(L"   Update aborted.\n\n");
    for (std::uint32_t i = 0; i < run.cardCount; ++i) closeJtagPort(&run.records[i], 0);
    return false;
}

void LogHostServiceMessage(const wchar_t* message) { PrintAndLog(L"%ls", message); }

// The run's driver cycle, for the console-control thread and the failure handler.
std::atomic<CDriverCycle*> activeCycle{nullptr};

void RecoverActiveCycle() {
    if (CDriverCycle* cycle = activeCycle.load()) cycle->BringDisplayBackAfterInterruption();
}

int FinishRun(const CCmdLine& options, CDriverCycle& driverCycle, std::int32_t exitCode) {
    if (!rebootStarted.load()) RestorePowerSettings();
    SetDisplayRecovery(nullptr);
    driverCycle.EndRun();
    CleanUpRun(false);
    if (!options.quiet && !rebootStarted.load()) WaitForKeyToExit();
    return exitCode;
}

int RunUpdateSteps(int argc, char** argv) {
    SetCleanupRoutine(&CleanUpRun);
    SetHostServicesLog(&LogHostServiceMessage);
    // The journal first: a run that was cut off left the original power value there.
    tagCycleJournal journal = LoadJournal();
    tagPowerOrigin power;
    power.journalled = journal.originalPower;
    power.record = [&journal](std::uint32_t original) {
        journal.originalPower = original;
        SaveJournal(journal);
    };
    PrepareHost(power);

    CCmdLine options;
    // Only the resume command line after a restart needs the program directory.
    CDriverCycle driverCycle(ProgramDirectory(platform::ModuleFileName(2048)), journal);
    activeCycle = &driverCycle;
    SetDisplayRecovery(&RecoverActiveCycle);
    BuildLogPath();
    consoleWindow.store(platform::ConsoleWindow());
    std::thread(KeepConsoleInFront).detach();

    if (!options.Parse(argc, argv)) {
        RestorePowerSettings();
        SetDisplayRecovery(nullptr);
        driverCycle.EndRun();
        consoleWindow.store(
            nullptr);  // the keep-in-front thread must not outlive the process's end
        return 0;
    }
    SetLogToFile(options.logToFile);
    platform::ConsoleShowCursor(false);
    PrintBanner();

    driverCycle.Prepare();

    std::int32_t exitCode = 1;
    if (!OpenDriverAccess()) return FinishRun(options, driverCycle, exitCode);
    if (!ProgramPciScan().Scan()) {
        PrintAndLog(L"   No Orvane K740 graphics cards found.");
        return FinishRun(options, driverCycle, exitCode);
    }

    tagRunResources& run = RunResources();
    if (options.fileName) {
        exitCode = LoadImageFile(options.fileName, run);
        if (run.imageSize > 0) exitCode = RefuseMalformedImage(run);
    }

    if (auto stop = driverCycle.SwitchDriverOff(options, run.imageSize)) {
        ClearImage(run);
        std::uint32_t ignored = 0;
        ListCards(options, run, ignored);
        return FinishRun(options, driverCycle, *stop);
    }

    std::uint32_t largestDelay = 0;
    ListCards(options, run, largestDelay);

    if (driverCycle.DisableNeedsRestart())
        return FinishRun(options, driverCycle,
                         driverCycle.RestartForDisable(options, run, exitCode));

    if (run.imageSize == 0) {
        PrintAndLog(L"\n");
        return FinishRun(options, driverCycle, exitCode);
    }

    const bool confirmed = WarnAndConfirm(options, run, largestDelay);
    if (confirmed) {
        const tagProgrammingJob job{run.cards.data(), run.records, ProgramPciScan().devices->items,
                                    run.cardCount, options.beep != 0};
        exitCode = ProgramAllCards(job);
    }

    exitCode = driverCycle.BringDriverBack(options, !confirmed, exitCode);
    TidyRegistry();
    return FinishRun(options, driverCycle, exitCode);
}

}  // namespace

int RunUpdate(int argc, char** argv) {
    return RunPuttingTheHostBackOnFailure([&] { return RunUpdateSteps(argc, argv); });
}
