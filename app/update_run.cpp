// The update run in its order: host, options, banner, library, scan, image, listing, programming.
#include "app/update_run.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "device/cmdline.h"
#include "app/console_log.h"
#include "app/cycle_journal.h"
#include "app/desktop_settings.h"
#include "app/driver_access_report.h"
#include "app/driver_cycle.h"
#include "app/image_file.h"
#include "app/key_prompts.h"
#include "app/programming.h"
#include "app/reboot_resume.h"
#include "app/run_guard.h"
#include "app/run_messages.h"
#include "app/run_recorder.h"
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
// A resumed run whose image is not the recorded one ends as one whose file cannot be used.
constexpr std::int32_t kChangedResumeImageExitCode = 2;

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

void ListCards(const CCmdLine& options, tagRunResources& run, std::uint32_t& largestDelay,
               CRunRecorder& recorder) {
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
        const std::wstring version = run.cards[i]->GetFpgaVersion(&record);
        PrintAndLog(L"%ls", version.c_str());
        PrintAndLog(L"\n");
        recorder.CardListed(pci, version);
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
    CRunRecorder recorder;
    CDriverCycle driverCycle(journal);
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
    // A stored settings copy is the mark of a cycle that a restart interrupted.
    recorder.Begin(options, SettingsCopyStored());
    platform::ConsoleShowCursor(false);
    PrintBanner();

    driverCycle.Prepare();
    recorder.UseFolder(driverCycle.WorkingFolder());

    std::int32_t exitCode = 1;
    if (!OpenDriverAccess()) {
        ReportDriverAccessFailure(DriverAccessFailure());
        return FinishRun(options, driverCycle, exitCode);
    }
    if (!ProgramPciScan().Scan()) {
        // A library that never reached its driver has not looked for cards at all.
        tagDriverAccessFailure driverFailure;
        if (LibraryDriverFailure(driverFailure)) {
            ReportDriverAccessFailure(driverFailure);
        } else {
            PrintAndLog(L"   No Orvane K740 graphics cards found.");
        }
        return FinishRun(options, driverCycle, exitCode);
    }

    tagRunResources& run = RunResources();
    if (options.fileName) {
        exitCode = LoadImageFile(options.fileName, run);
        recorder.ImageLoaded(run.image, run.imageSize);
        // A resumed run checks its image before anything else uses it: one that is not what the
        // restart recorded programs nothing, and the driver and the settings come back below.
        if (!driverCycle.ImageIsTheRecordedOne(options.fileName, run.image, run.imageSize)) {
            ClearImage(run);
            exitCode = kChangedResumeImageExitCode;
        }
        if (run.imageSize > 0) {
            exitCode = RefuseMalformedImage(run);
            if (exitCode != 0) recorder.ImageRefused();
        }
    }

    if (auto stop = driverCycle.SwitchDriverOff(options, run)) {
        ClearImage(run);
        std::uint32_t ignored = 0;
        ListCards(options, run, ignored, recorder);
        recorder.Finish(*stop, false, false, false);
        return FinishRun(options, driverCycle, *stop);
    }

    std::uint32_t largestDelay = 0;
    ListCards(options, run, largestDelay, recorder);

    if (driverCycle.DisableNeedsRestart()) {
        exitCode = driverCycle.RestartForDisable(options, run, exitCode);
        if (!rebootStarted.load() && !options.noReboot) recorder.Declined();
        recorder.Finish(exitCode, rebootStarted.load(), true, options.noReboot != 0);
        return FinishRun(options, driverCycle, exitCode);
    }

    if (run.imageSize == 0) {
        PrintAndLog(L"\n");
        recorder.Finish(exitCode, false, false, false);
        return FinishRun(options, driverCycle, exitCode);
    }

    const bool confirmed = WarnAndConfirm(options, run, largestDelay);
    if (confirmed) {
        std::vector<tagCardOutcome> outcomes(run.cardCount);
        const tagProgrammingJob job{
            run.cards.data(), run.records,       ProgramPciScan().devices->items,
            run.cardCount,    options.beep != 0, outcomes.data()};
        exitCode = ProgramAllCards(job);
        recorder.CardsProgrammed(run.records, outcomes.data());
    } else {
        recorder.Declined();
    }

    exitCode = driverCycle.BringDriverBack(options, !confirmed, exitCode);
    driverCycle.Tidy();
    recorder.Finish(exitCode, rebootStarted.load(), false,
                    confirmed && options.noReboot && driverCycle.DriverDisabled());
    return FinishRun(options, driverCycle, exitCode);
}

}  // namespace

int RunUpdate(int argc, char** argv) {
    return RunPuttingTheHostBackOnFailure([&] { return RunUpdateSteps(argc, argv); });
}
