// The update run in its order: host, options, banner, library, scan, image, listing, programming.
#include "app/run/update_run.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/console/console_log.h"
#include "app/console/driver_access_report.h"
#include "app/console/exit_codes.h"
#include "app/console/key_prompts.h"
#include "app/console/run_messages.h"
#include "app/cycle/cycle_journal.h"
#include "app/cycle/desktop_settings.h"
#include "app/cycle/display_driver_cycle.h"
#include "app/cycle/pending_cycle.h"
#include "app/cycle/program_copy.h"
#include "app/cycle/reboot_resume.h"
#include "app/cycle/resume_copies.h"
#include "app/cycle/working_folder.h"
#include "app/host/host_services.h"
#include "app/programming/programming.h"
#include "app/results/run_log.h"
#include "app/run/card_summary.h"
#include "app/run/image_file.h"
#include "app/run/one_run.h"
#include "app/run/run_context.h"
#include "app/run/run_guard.h"
#include "app/run/run_recorder.h"
#include "app/run/run_trace.h"
#include "device/cmdline.h"
#include "device/kseries.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/pci_scan.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/known_folders.h"
#include "platform/working_folder.h"
#include "text/text_encoding.h"
#include "xsvf/calibration.h"
#include "xsvf/jtag_port.h"
#include "xsvf/jtag_port_open.h"
#include "xsvf/play_stop.h"
#include "xsvf/xsvf_validate.h"

namespace {

constexpr std::uint32_t kInitialDelayCount = 40;
// A resumed run whose image is not the recorded one ends as one whose file cannot be used.
constexpr std::int32_t kChangedResumeImageExitCode = kExitImageUnreadable;
// The console-control handler ends the process from the host room, with the code of its own.
static_assert(kConsoleControlExitCode == kExitNoCardOrImage);

void PrintBanner() {
    PrintAndLog(L"%ls %d.%d.%d.%d\n", kProductName, kVersion[0], kVersion[1], kVersion[2],
                kVersion[3]);
    PrintAndLog(L"%ls %d", kCopyrightNotice,
                static_cast<int>(std::wcstol(kCopyrightYear, nullptr, 10)));
    PrintAndLog(L"\n\n");
}

// A malformed image never reaches the hardware: the run goes on as without an image and ends with
// the code the player would have returned.
std::int32_t RefuseMalformedImage(tagRunResources& run) {
    tagXsvfValidation check =
        validateXsvf(run.image.get(), static_cast<std::uint32_t>(run.imageSize));
    if (check.code == 0) return kExitSuccess;
    PrintAndLog(L"   Error: The XSVF file is malformed: %ls.\n   No card will be programmed.\n",
                Utf8ToWide(describeXsvfFault(check)).c_str());
    run.ClearImage();
    return check.code;
}

// The console-control handler stopped the plays and now brings the display back and ends the
// process: this thread touches nothing more.
[[noreturn]] void WaitForTheInterruptionToEndTheRun() {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// The listing opens, calibrates and reads the cards with the display driver disabled in an update
// run, so it counts itself in as a register user: Ctrl+C then waits for it, and it stops at the
// request, before the display driver takes the cards back.
void StopListingIfAsked(CPlayStop::Use& registers) {
    if (!registers.StopRequested()) return;
    registers.End();
    WaitForTheInterruptionToEndTheRun();
}

void ListCards(CRunContext& context, std::uint32_t& largestDelay) {
    const CCmdLine& options = context.options;
    const CPciScan& scanner = context.scanner;
    tagRunResources& run = context.run;
    run.MakeCardSlots(scanner.cardCount);
    PrintAndLog(L"   Found %d Orvane K740 graphics card%ls:\n", static_cast<int>(run.cards.size()),
                run.cards.size() == 1 ? L"" : L"s");

    CPlayStop::Use registers(&ProcessPlayStop());
    for (std::size_t i = 0; i < run.cards.size(); ++i) {
        StopListingIfAsked(registers);
        tagCardSlot& slot = run.cards[i];
        slot.pci = scanner.devices->items[i];
        const tagPciInfo& pci = slot.pci;
        slot.card.reset(CreateDevice(&pci, options, static_cast<std::int32_t>(i)));
        tagDeviceUpdate& record = slot.record;
        record.pciHandle = pci.hDevice;
        record.regHandle = pci.hRegisters;
        record.gpioOut = 0;
        record.verifyWrites = 0;
        record.delayCount = kInitialDelayCount;
        record.offset = 0;
        record.percentDone = 0;
        record.updateResult = 0;
        // Without its register window a card is listed but never programmed, and fails the run.
        const bool mapped = pci.hRegisters != 0;
        if (!mapped) record.updateResult = kUnmappedCardResult;
        if (run.imageSize > 0 && mapped) {
            record.image = {run.image.get(), static_cast<std::uint32_t>(run.imageSize)};
            record.stop = &ProcessPlayStop();
            record.shiftStop = record.stop;  // the calibration's passes look at it
            openJtagPort(&record);
            StopListingIfAsked(registers);
        }
        PrintAndLog(L"   PCIe Bus: 0x%02X%X%X   FPGA version: ", pci.busNumber, pci.deviceNumber,
                    pci.functionNumber);
        const std::wstring version = slot.card->GetFpgaVersion(&record);
        PrintAndLog(L"%ls", version.c_str());
        PrintAndLog(L"\n");
        context.recorder.CardListed(pci, version);
        if (mapped && record.delayCount > largestDelay) largestDelay = record.delayCount;
    }
}

// Estimate, warning box and confirmation. Anything but yes leaves every card's port closed.
PromptAnswer WarnAndConfirm(const CCmdLine& options, tagRunResources& run,
                            std::uint32_t largestDelay) {
    const int estimate = UpdateEstimateMinutes(largestDelay);
    for (tagCardSlot& slot : run.cards) slot.record.delayCount = largestDelay;
    PrintAndLog(L"\n");
    PrintAndLog(L"   XSVF update file: %ls\n", Utf8ToWide(options.fileName).c_str());
    PrintAndLog(L"   Calibration... ");
    PrintAndLog(L" Done.\n   Update time estimate: %d minutes\n", estimate);
    // The colour is cosmetic, and a redirected stdout has none: the warning reads the same.
    (void)platform::ConsoleSetTextAttribute(12);
    PrintAndLog(L"%ls", kWarningBox);
    (void)platform::ConsoleSetTextAttribute(7);
    const PromptAnswer answer = options.quiet ? PromptAnswer::kYes : ConfirmToContinue();
    if (answer == PromptAnswer::kYes) return answer;
    PrintAndLog(L"   Update aborted.\n\n");
    if (answer == PromptAnswer::kNoAnswer) SayHowToRunUnattended();
    for (tagCardSlot& slot : run.cards) closeJtagPort(&slot.record, 0);
    return answer;
}

void LogHostServiceMessage(const wchar_t* message) { PrintAndLog(L"%ls", message); }

// The cards the programming step starts a play on, as PCIe bus positions ("0300,0400").
std::wstring PlayedCards(const CRunContext& context) {
    std::wstring cards;
    for (const tagCardSlot& slot : context.run.cards) {
        if (slot.record.updateResult.load() != 0) continue;
        const tagPciInfo& pci = slot.pci;
        wchar_t position[16];
        std::swprintf(position, 16, L"%02X%X%X", pci.busNumber, pci.deviceNumber,
                      pci.functionNumber);
        cards += (cards.empty() ? L"" : L",") + std::wstring(position);
    }
    return cards;
}

int FinishRun(CRunContext& context, std::int32_t exitCode) {
    if (!context.host.rebootStarted.load()) context.host.RestorePowerSettings();
    SetDisplayRecovery(nullptr);
    context.driverCycle.EndRun();
    CleanUpRun(&context.host, false);
    context.Release();
    // The copy is kept before the key wait, which nobody may ever end; the closing line after it.
    KeepRunLogCopy(context.recorder.Result());
    if (!context.options.quiet && !context.host.rebootStarted.load()) WaitForKeyToExit();
    CloseRunLog(context.recorder.Result(), exitCode);
    return exitCode;
}

// Opens the library and scans the bus. False when the run cannot go on: the reason is reported
// and recorded.
bool FindCards(CRunContext& context) {
    if (!OpenDriverAccess()) {
        ReportDriverAccessFailure(DriverAccessFailure());
        context.recorder.Ended(RunEnd::kNoLibrary);
        return false;
    }
    if (!context.scanner.Scan()) {
        // A library that never reached its driver has not looked for cards at all.
        tagDriverAccessFailure driverFailure;
        if (LibraryDriverFailure(driverFailure)) {
            ReportDriverAccessFailure(driverFailure);
            context.recorder.Ended(RunEnd::kNoLibrary);
        } else {
            PrintAndLog(L"   No Orvane K740 graphics cards found.");
            context.recorder.Ended(RunEnd::kNoCard);
        }
        return false;
    }
    return true;
}

// Reads and checks the image named on the command line; returns the exit code it decides.
std::int32_t LoadImage(CRunContext& context) {
    const char* fileName = context.options.fileName;
    tagRunResources& run = context.run;
    std::int32_t exitCode = LoadImageFile(fileName, run);
    const bool read = exitCode == kExitSuccess;
    context.recorder.ImageLoaded(run.image.get(), run.imageSize, read);
    // A resumed run checks its image before anything else uses it, an empty one too: one that is
    // not what the restart recorded programs nothing, and the driver and the settings come back
    // below. An image that could not be read has said so already.
    if (read &&
        !context.driverCycle.ImageIsTheRecordedOne(fileName, run.image.get(), run.imageSize)) {
        run.ClearImage();
        exitCode = kChangedResumeImageExitCode;
    }
    if (run.imageSize > 0) {
        exitCode = RefuseMalformedImage(run);
        if (exitCode != kExitSuccess) context.recorder.ImageRefused();
    }
    return exitCode;
}

// With Trace set under the utility's key, every card to be played records its port's work.
std::unique_ptr<CRunTrace> OpenTrace(CRunContext& context) {
    if (!TraceSwitchedOn()) return nullptr;
    std::unique_ptr<CRunTrace> trace =
        CRunTrace::Open(context.driverCycle.WorkingFolder(), context.recorder.Result().runId);
    if (!trace) return nullptr;
    for (tagCardSlot& slot : context.run.cards) {
        if (slot.record.updateResult.load() != 0) continue;
        trace->Attach(slot.record, slot.pci);
    }
    return trace;
}

// The warning, the confirmation and the programming of every card; returns the run's exit code.
std::int32_t ConfirmAndProgram(CRunContext& context, std::uint32_t largestDelay,
                               std::int32_t exitCode) {
    const CCmdLine& options = context.options;
    tagRunResources& run = context.run;
    CDisplayDriverCycle& driverCycle = context.driverCycle;
    const PromptAnswer answer = WarnAndConfirm(options, run, largestDelay);
    const bool confirmed = answer == PromptAnswer::kYes;
    if (confirmed) {
        tagProgrammingJob job{run.cards, options.beep != 0};
        // Verification judges each card against what its listing read.
        const std::vector<tagCardResult>& listed = context.recorder.Result().cards;
        if (listed.size() == run.cards.size()) {
            for (std::size_t i = 0; i < listed.size(); ++i)
                run.cards[i].versionBefore = Utf8ToWide(listed[i].versionBefore);
        }
        job.stop = &ProcessPlayStop();
        std::unique_ptr<CRunTrace> trace = OpenTrace(context);
        driverCycle.PlaysStart(PlayedCards(context));
        exitCode = ProgramAllCards(job);
        if (job.stop->Requested()) WaitForTheInterruptionToEndTheRun();
        if (trace) trace->Finish();
        driverCycle.PlaysEnded();
        context.recorder.CardsProgrammed(run.cards);
        PrintCardSummary(context.recorder.Result().cards);
    } else if (answer == PromptAnswer::kNo) {
        context.recorder.Declined();
    } else {
        context.recorder.Unanswered();
        exitCode = kExitUnanswered;
    }

    exitCode = driverCycle.BringDriverBack(options, !confirmed, exitCode);
    // A failed enable keeps "Config" and the resume copies for the start that tries it again.
    if (driverCycle.EnableFailed()) {
        context.recorder.EnableFailed();
    } else {
        driverCycle.Tidy();
    }
    // Under --noreboot, or with the restart refused, the driver's return still waits for one.
    const bool restartPending = confirmed && driverCycle.DriverDisabled() &&
                                !driverCycle.EnableFailed() && !context.host.rebootStarted.load();
    context.recorder.Finish(exitCode, context.host.rebootStarted.load(), false, restartPending);
    return exitCode;
}

// A listing's result names the cycle it left alone.
void RecordPendingCycle(CRunContext& context) {
    const tagCycleJournal& journal = context.driverCycle.Journal();
    if (journal.phase == CyclePhase::kIdle) return;
    const std::wstring next =
        PendingCycleNext(journal, PendingEntriesNow(), context.driverCycle.DisableAwaitsRestart());
    context.recorder.CyclePending(PendingCyclePhaseName(journal.phase), WideToUtf8(next));
}

// The steps after the host was prepared, in the run's context.
int RunUpdateSteps(CRunContext& context, const CCmdLine& parsed) {
    context.options = parsed;
    const CCmdLine& options = context.options;
    CRunRecorder& recorder = context.recorder;
    CDisplayDriverCycle& driverCycle = context.driverCycle;
    SetDisplayRecovery(&driverCycle);
    BuildLogPath();
    CHostServices& host = context.host;
    host.StartKeepingConsoleInFront(platform::ConsoleWindow());

    SetLogToFile(options.logToFile);
    recorder.Begin(options);
    OpenRunLog(recorder.Result().runId, recorder.Result().startTime);
    // The cursor is cosmetic, and a redirected stdout has none to hide.
    (void)platform::ConsoleShowCursor(false);
    PrintBanner();

    driverCycle.Prepare();
    recorder.UseFolder(driverCycle.WorkingFolder());
    UseRunLogFolder(driverCycle.WorkingFolder());
    recorder.StartRecording();
    driverCycle.DecideRole(options);
    if (driverCycle.Listing()) recorder.LeaveCarriedCycle();

    std::int32_t exitCode = kExitNoCardOrImage;
    if (!FindCards(context)) {
        recorder.Finish(exitCode, false, false, false);
        return FinishRun(context, exitCode);
    }

    tagRunResources& run = context.run;
    if (options.fileName) exitCode = LoadImage(context);

    if (auto stop =
            driverCycle.SwitchDriverOff(options, tagCycleImage{run.image.get(), run.imageSize})) {
        run.ClearImage();
        std::uint32_t ignored = 0;
        ListCards(context, ignored);
        // 3 is also a card's code, which a cycle that ended before may have left as its result.
        recorder.Finish(*stop, false, false,
                        *stop == kExitRestartToDisable && driverCycle.DisableAwaitsRestart());
        return FinishRun(context, *stop);
    }
    if (driverCycle.Listing()) RecordPendingCycle(context);

    std::uint32_t largestDelay = 0;
    ListCards(context, largestDelay);

    if (driverCycle.DisableNeedsRestart()) {
        exitCode = driverCycle.RestartForDisable(
            options,
            [&run] {
                for (tagCardSlot& slot : run.cards) closeJtagPort(&slot.record, 0);
            },
            exitCode);
        if (exitCode == kExitUnanswered) {
            recorder.Unanswered();
        } else if (exitCode == kExitSuccess && !host.rebootStarted.load()) {
            recorder.Declined();
        }
        recorder.Finish(exitCode, host.rebootStarted.load(), true,
                        exitCode == kExitRestartToDisable);
        return FinishRun(context, exitCode);
    }

    if (run.imageSize == 0) {
        PrintAndLog(L"\n");
        recorder.Finish(exitCode, false, false, false);
        return FinishRun(context, exitCode);
    }

    return FinishRun(context, ConfirmAndProgram(context, largestDelay, exitCode));
}

// The run's working folder by name alone, before anything is prepared: only to tell whether a
// logon entry started this run, which decides how long the run lock is waited for.
bool StartedByLogonEntry() {
    // A system that does not name the folder has no logon entry to have started the run.
    const auto programData = platform::ProgramDataFolder();
    if (!programData) return false;
    const std::wstring separator(1, platform::PathSeparator());
    std::wstring folder = *programData;
    if (!folder.empty() && folder.back() != separator[0]) folder += separator;
    return RunsFromWorkingFolderCopy(folder + L"Orvane" + separator + L"OvnK740FpgaUpdater" +
                                     separator);
}

const char* LockWord(run_lock::RunLockState state) {
    switch (state) {
        case run_lock::RunLockState::kBusy:
            return "busy";
        case run_lock::RunLockState::kSquatted:
            return "squatted";
        default:
            return "unavailable";
    }
}

// An option error ends the start with its own code and leaves a result saying so; the lock is
// only tried, never waited for: while another run holds it, last-run.json stays that run's and
// only this start's dated copy is written. Nothing else changes: no banner, no power raise.
int EndWithUsageError(const CCmdLine& options) {
    BuildLogPath();
    SetLogToFile(options.logToFile);
    const run_lock::tagRunLockAttempt lock = TakeRunLock(ProcessRunLockWait(), 0);
    CRunRecorder recorder;
    recorder.Begin(options);
    recorder.UseFolder(OpenWorkingFolder());
    recorder.FinishStart(kExitUsageError, RunEnd::kUsageError, nullptr,
                         lock.state == run_lock::RunLockState::kHeld);
    return kExitUsageError;
}

// Before anything changes the machine: the run lock. A refused start says why, leaves its own
// dated result, and ends with 11 without touching the power setting, the journal or the cards.
std::optional<int> RefuseUnlessTheOnlyRun(const CCmdLine& options) {
    const std::uint32_t wait = StartedByLogonEntry() ? kLogonRunLockWaitMilliseconds : 0;
    const run_lock::tagRunLockAttempt lock = TakeRunLock(ProcessRunLockWait(), wait);
    if (lock.state == run_lock::RunLockState::kHeld) return std::nullopt;
    BuildLogPath();
    SetLogToFile(options.logToFile);
    CRunRecorder recorder;
    recorder.Begin(options);
    OpenRunLog(recorder.Result().runId, recorder.Result().startTime);
    PrintBanner();
    ReportRunLockRefusal(lock);
    const std::wstring folder = OpenWorkingFolder();
    recorder.UseFolder(folder);
    // The running run's last-run.log stays; this start keeps only its dated copy.
    UseRunLogFolder(folder, false);
    recorder.FinishStart(kExitAnotherRunActive, RunEnd::kLockRefused, LockWord(lock.state), false);
    KeepRunLogCopy(recorder.Result());
    if (!options.quiet) WaitForKeyToExit();
    CloseRunLog(recorder.Result(), kExitAnotherRunActive);
    return kExitAnotherRunActive;
}

// Before the run changes anything on the machine, its repair is in place: the program copy taken
// from the running program's own file (which a rename during the run can no longer touch) and
// the repair entry that starts it, recorded in the journal before it is written.
void RegisterRepair(tagRunStart& start) {
    start.program->Take(platform::PathOf(start.folder));
    const std::wstring& copy = start.program->Path();
    if (copy.empty()) return;
    start.journal.entries |= kEntryRepair;
    SaveJournal(start.journal);
    if (!RegisterProgramEntry(*start.program, kRepairValueName, RepairCommandLine(copy))) {
        start.journal.entries &= ~static_cast<std::uint32_t>(kEntryRepair);
        SaveJournal(start.journal);
    }
}

// Hooks the host services to the run, takes the working folder and the program copy, registers the
// repair, and saves and raises the power setting; the journal first: a run that was cut off left
// the original power value there.
tagRunStart PrepareRunHost(CHostServices& host, const CCmdLine& options) {
    host.SetCleanupRoutine(&CleanUpRun);
    host.SetHostServicesLog(&LogHostServiceMessage);
    tagRunStart start;
    start.journal = LoadJournal();
    start.folder = platform::PrepareWorkingFolder();
    // A listing changes nothing on the machine but the power raise it puts back on every exit;
    // the journal holds the original value for the next start should power fail meanwhile.
    if (options.fileName || RunsFromWorkingFolderCopy(platform::PathOf(start.folder)))
        RegisterRepair(start);
    tagCycleJournal& journal = start.journal;
    tagPowerOrigin power;
    power.journalled = journal.originalPower;
    power.record = [&journal](std::uint32_t original) {
        journal.originalPower = original;
        SaveJournal(journal);
    };
    host.PrepareHost(power);
    return start;
}

}  // namespace

int RunUpdate(int argc, char** argv) {
    // Outlives the guarded steps: after an exception the handler still brings the display back
    // through the run's driver cycle and frees what the run holds.
    std::unique_ptr<CRunContext> context;
    return RunPuttingTheHostBackOnFailure(
        [&] {
            // Help and option errors change nothing, so they work while another run goes on.
            CCmdLine options;
            if (!options.Parse(argc, argv)) {
                if (options.optionError) return EndWithUsageError(options);
                return static_cast<int>(kExitSuccess);
            }
            if (const std::optional<int> refused = RefuseUnlessTheOnlyRun(options)) return *refused;
            // Kept in `context` from here, so that the failure handler can still reach it after an
            // exception has left the steps.
            context = std::make_unique<CRunContext>(
                [&options](CHostServices& host) { return PrepareRunHost(host, options); });
            return RunUpdateSteps(*context, options);
        },
        [&]() -> CHostServices* { return context ? &context->host : nullptr; },
        [&] {
            if (context) context->Release();
        });
}
