// The display driver's cycle within one run, in the order the update run calls it, with the
// journal written before each step that changes the machine.
#include "app/cycle/display_driver_cycle.h"

#include "app/console/console_log.h"
#include "app/console/key_prompts.h"
#include "app/cycle/cycle_log.h"
#include "app/cycle/desktop_settings.h"
#include "app/cycle/pending_cycle.h"
#include "app/cycle/program_copy.h"
#include "app/cycle/reboot_resume.h"
#include "app/cycle/resume_copies.h"
#include "app/cycle/sha256.h"
#include "app/cycle/working_folder.h"
#include "app/host/host_services.h"
#include "device/cmdline.h"
#include "platform/boot_session.h"
#include "platform/console.h"
#include "platform/process_identity.h"
#include "text/text_encoding.h"

namespace {

constexpr std::uint32_t kDisableNeedsRestartCode = 1;

// Asks for the restart; a refusal is said on the console as well as in the log.
bool RestartRequested(CHostServices& host, const wchar_t* purpose, const wchar_t* whatItWouldDo) {
    const std::uint32_t refused = host.RebootNow();
    LogRestartRequest(purpose, refused);
    if (refused == 0) return true;
    PrintAndLog(L"\n   The restart was refused (error %u): restart the computer to %ls.\n",
                static_cast<unsigned>(refused), whatItWouldDo);
    return false;
}

}  // namespace

CDisplayDriverCycle::CDisplayDriverCycle(tagRunStart start, CHostServices& host, tagWaitClock clock)
    : host_(host),
      folder_(std::move(start.folder)),
      program_(std::move(start.program)),
      runner_(std::move(clock)),
      journal_(std::move(start.journal)) {}

void CDisplayDriverCycle::DropResume(tagCycleJournal& journal) {
    DeleteRunOnce(kResumeValueName);
    DeleteRunOnce(kResumeAgainValueName);
    journal.entries &= ~static_cast<std::uint32_t>(kEntryResume);
}

tagCycleJournal CDisplayDriverCycle::Fresh() const {
    tagCycleJournal fresh;
    fresh.originalPower = journal_.originalPower;
    fresh.entries = journal_.entries & kEntryRepair;
    return fresh;
}

void CDisplayDriverCycle::RegisterImportIfSettingsSaved(tagCycleJournal& journal) const {
    if (!(journal.settingsExported || journal.settingsRestored) || importCommandLine_.empty())
        return;
    journal.entries |= kEntryImport;
    journal.phase = CyclePhase::kImportRegistered;
    RegisterRunOnce(kImportValueName, importCommandLine_);
}

void CDisplayDriverCycle::Prepare() {
    // A system that does not tell its width is taken for a 32-bit one.
    const auto wow64 = platform::RunningUnderWow64();
    const bool underWow64 = wow64 && *wow64;
    // Everything the run writes and later reads or starts lives in the admin-only folder; without
    // it there is no tool, and no image is programmed under a driver that could not be checked.
    workingFolder_ = ReportWorkingFolder(folder_);
    program_->Report();
    settingsFile_ = SettingsFilePath(workingFolder_);
    const std::wstring suite = SuiteDirectory();
    exportCommandLine_ = SuiteExportCommandLine(suite, settingsFile_);
    importCommandLine_ = SuiteImportCommandLine(suite, settingsFile_);
    tool_ = CDeviceConsoleTool(ToolPath(workingFolder_));
    // A tool that is not there is found missing (Extracted) wherever the cycle needs it.
    if (auto image = platform::ModuleResource(ToolResourceName(underWow64)))
        tool_.Extract(std::move(*image));
    toolReady_ = true;
}

void CDisplayDriverCycle::DecideRole(const CCmdLine& options) {
    // A start without an image only lists, unless a logon entry made it: the entries start the
    // working folder's copy, and theirs is the run that finishes or undoes the cycle.
    listing_ = options.fileName == nullptr && !RunsFromWorkingFolderCopy(workingFolder_);
}

bool CDisplayDriverCycle::ImageIsTheRecordedOne(const char* fileName, const std::uint8_t* image,
                                                std::int32_t imageSize) {
    // An empty image is checked too: a resumed run on a truncated copy must not pass for done.
    if (fileName == nullptr || imageSize < 0) return true;
    std::wstring recorded, found;
    const ResumeImageCheck check =
        CheckResumeImage(workingFolder_, Utf8ToWide(fileName), image,
                         static_cast<std::size_t>(imageSize), recorded, found);
    resumedRun_ = check == ResumeImageCheck::kMatches;
    if (check != ResumeImageCheck::kDiffers) return true;
    PrintAndLog(
        L"   Error: The XSVF file %ls is not the one the update was started with before the "
        L"restart (SHA-256 %ls recorded, %ls found).\n   No card will be programmed.\n",
        Utf8ToWide(fileName).c_str(), recorded.empty() ? L"none" : recorded.c_str(), found.c_str());
    return false;
}

void CDisplayDriverCycle::EndWithTheImportRegistered() {
    journal_.phase = CyclePhase::kIdle;
    RegisterImportIfSettingsSaved(journal_);
    Save();
    DropResume(journal_);
    Save();
    Tidy();
}

void CDisplayDriverCycle::Tidy() {
    TidyRegistry();
    RemoveResumeCopies(workingFolder_);
}

platform::FileResult<std::wstring> CDisplayDriverCycle::PrepareResume(const CCmdLine& options,
                                                                      const tagCycleImage& image) {
    // The resumed run starts from copies only administrators can change, never from where the
    // operator started this one.
    const auto size = static_cast<std::size_t>(image.size);
    const auto copies = StoreResumeCopies(workingFolder_, program_->Path(), image.bytes, size);
    if (!copies) return copies.error();
    journal_.imageHash = Sha256Hex(image.bytes, size);
    return ResumeCommandLine(*copies, options);
}

void CDisplayDriverCycle::Save() {
    std::lock_guard<std::mutex> hold(journalLock_);
    // Once the interruption has closed the journal, the ending run writes nothing over it.
    if (interrupted_.load()) return;
    SaveJournal(journal_);
}

void CDisplayDriverCycle::Undo(CChildRunner* enableWith) {
    if (enableWith && tool_.Extracted()) tool_.Enable(*enableWith);
    DropResume(journal_);
    Tidy();
    journal_ = Fresh();
}

bool CDisplayDriverCycle::FinishUpdatedCycle() {
    const bool importWaits = RegisteredRunOnce(kImportValueName).has_value();
    if (journal_.phase == CyclePhase::kEnabled || importWaits) {
        // The import has not run: it runs now, from the stored copy when there still is one.
        RestoreSettingsFromRegistry(settingsFile_);
        if (!importCommandLine_.empty())
            runner_.RunAndWait(importCommandLine_, kExportWaitMilliseconds);
        DeleteRunOnce(kImportValueName);
        journal_.entries &= ~static_cast<std::uint32_t>(kEntryImport);
    }
    const bool resumeLeft = RegisteredRunOnce(kResumeValueName).has_value() ||
                            RegisteredRunOnce(kResumeAgainValueName).has_value();
    if (resumeLeft) {
        // This start is the resume's and ends here: the power goes back and the journal closes
        // before the last entry that would start the utility again goes.
        host_.RestorePowerSettings();
    }
    const std::int32_t result = journal_.result;
    const std::uint32_t entries = journal_.entries;
    journal_ = Fresh();
    if (resumeLeft) journal_.originalPower.reset();
    journal_.result = result;
    // The entries leave the journal only once they are gone.
    journal_.entries = entries;
    Save();
    DropResume(journal_);
    Tidy();
    Save();
    return resumeLeft;
}

void CDisplayDriverCycle::BringBackWithoutUpdate() {
    if (!tool_.Extracted()) {
        PrintAndLog(
            L"\n   Error: The display driver may still be disabled, and the device console tool "
            L"is not available to enable it.\n");
        return;
    }
    const std::uint32_t enabled = tool_.Enable(runner_);
    const bool restored = RestoreSettingsFromRegistry(settingsFile_);
    LogSettingsRestored(settingsFile_, restored);
    if (restored) journal_.settingsRestored = true;
    EndWithTheImportRegistered();
    PrintAndLog(
        L"\n   No usable XSVF file: nothing was programmed, and the display driver is enabled "
        L"again.\n");
    if (enabled != 0) {
        PrintAndLog(L"   You must restart the computer to complete enabling the display driver.\n");
    }
}

void CDisplayDriverCycle::GiveUpBeforeDisable() {
    const tagCycleJournal saved = journal_;
    Undo(&runner_);
    journal_.settingsExported = saved.settingsExported;
    journal_.settingsRestored = saved.settingsRestored;
    // The suite was closed for this cycle: its settings come back at the next logon.
    RegisterImportIfSettingsSaved(journal_);
    Save();
}

std::int32_t CDisplayDriverCycle::KeepFailedEnable(std::uint32_t code, bool updateOver) {
    enableFailed_ = true;
    journal_.phase = CyclePhase::kDisabled;
    journal_.enableFailed = updateOver;
    Save();
    PrintAndLog(
        L"\n   Error: The display driver could not be enabled again (exit code %u).\n   It is "
        L"tried again at the next start of OvnK740FPGAUpdater; no restart is made.\n",
        static_cast<unsigned>(code));
    return kDriverNotSwitchedOffExitCode;
}

std::optional<std::int32_t> CDisplayDriverCycle::RetryFailedEnable() {
    PrintAndLog(
        L"\n   The display driver was left disabled after the last update: it is enabled "
        L"now.\n");
    const std::uint32_t enabled = tool_.Extracted() ? tool_.Enable(runner_) : kNoExitCode;
    if (!EnableSucceeded(enabled)) return KeepFailedEnable(enabled, true);
    journal_.enableFailed = false;
    journal_.phase = CyclePhase::kEnabled;
    Save();
    if (enabled != 0) {
        PrintAndLog(L"   You must restart the computer to complete enabling the display driver.\n");
    }
    return std::nullopt;
}

std::optional<std::int32_t> CDisplayDriverCycle::Stop(const wchar_t* reason, std::uint32_t code) {
    PrintAndLog(L"\n   Error: %ls", reason);
    if (code != 0) PrintAndLog(L" (exit code %u)", static_cast<unsigned>(code));
    PrintAndLog(
        L".\n   The display driver cannot be switched off safely: no card will be "
        L"programmed.\n");
    return kDriverNotSwitchedOffExitCode;
}

// A fresh cycle starts from the operator's current settings; a continued one restores its copy.
void CDisplayDriverCycle::SaveSettingsAndCloseSuite(bool continuing) {
    if (!continuing) {
        journal_ = Fresh();
        // A "Config" no journal vouches for belongs to a cycle whose end was not recorded; the
        // operator's current settings are exported instead.
        TidyRegistry();
    }
    if (continuing && RestoreSettingsFromRegistry(settingsFile_)) {
        LogSettingsRestored(settingsFile_, true);
        journal_.settingsRestored = true;
    } else {
        ClearSettingsFileName(settingsFile_);
        const std::uint32_t exported =
            runner_.RunAndWait(exportCommandLine_, kExportWaitMilliseconds);
        LogSettingsExported(exportCommandLine_, exported, settingsFile_);
        journal_.settingsExported = true;
    }
    if (!continuing) journal_.phase = CyclePhase::kSettingsSaved;
    Save();
    CloseDesktopSuite(host_);
}

std::optional<std::int32_t> CDisplayDriverCycle::ArrangeResume(const CCmdLine& options,
                                                               const tagCycleImage& image) {
    // From here the driver may go: the settings and the resume are in place first, so that a run
    // cut off at any later point is taken up at the next logon.
    StoreSettingsInRegistry(settingsFile_);
    if (!options.noReboot) {
        platform::FileResult<std::wstring> prepared = PrepareResume(options, image);
        if (!prepared) {
            GiveUpBeforeDisable();
            PrintAndLog(L"\n   Error: The files for the resume could not be stored in %ls (%ls).",
                        workingFolder_.c_str(), Utf8ToWide(prepared.error().call).c_str());
            return Stop(L"Without them an interrupted update could not be taken up",
                        prepared.error().code);
        }
        resumeCommandLine_ = std::move(prepared).value();
        journal_.entries |= kEntryResume;
        Save();
        if (!RegisterProgramEntry(*program_, kResumeValueName, resumeCommandLine_)) {
            GiveUpBeforeDisable();
            return Stop(L"The program copy in the working folder was changed", 0);
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> CDisplayDriverCycle::DisableDriver(const CCmdLine& options) {
    if (journal_.phase < CyclePhase::kDisabling) journal_.phase = CyclePhase::kDisabling;
    journal_.driverDisabled = true;
    Save();

    const std::uint32_t code = tool_.Disable(runner_);
    if (code == 0) {
        driverDisabled_ = true;
        journal_.phase = CyclePhase::kDisabled;
        Save();
    } else if (code == kDisableNeedsRestartCode && !journal_.restartedForDisable) {
        disableNeedsRestart_ = true;
        // A run started by a resume entry loses that entry when it ends: the second name keeps
        // one for the logon after the restart. Any other run's first name stays as it is.
        if (!options.noReboot && resumedRun_)
            RegisterProgramEntry(*program_, kResumeAgainValueName, resumeCommandLine_);
        journal_.phase = CyclePhase::kDisablePending;
        journal_.restartedForDisable = true;
        journal_.noReboot = options.noReboot != 0;
        // A boot session that cannot be had is recorded empty, which counts as restarted.
        const auto bootSession = platform::BootSessionId();
        journal_.bootSession = bootSession ? *bootSession : std::wstring();
        Save();
    } else {
        GiveUpBeforeDisable();
        if (code == kDisableNeedsRestartCode)
            return Stop(
                L"The display driver still asks for a restart to be disabled, after the "
                L"restart made for it",
                0);
        return Stop(L"The display driver could not be disabled", code);
    }
    return std::nullopt;
}

bool CDisplayDriverCycle::DisableAwaitsRestart() const {
    // A journal without the boot session (written before it was recorded) counts as restarted.
    // So does one the system cannot tell now.
    if (journal_.phase != CyclePhase::kDisablePending || journal_.bootSession.empty()) return false;
    const auto bootSession = platform::BootSessionId();
    return bootSession && journal_.bootSession == *bootSession;
}

std::optional<std::int32_t> CDisplayDriverCycle::SwitchDriverOff(const CCmdLine& options,
                                                                 const tagCycleImage& image) {
    const std::int32_t imageSize = image.size;
    handled_ = true;
    if (listing_) {
        PrintAndLog(
            L"%ls",
            PendingCycleReport(journal_, PendingEntriesNow(), DisableAwaitsRestart()).c_str());
        return std::nullopt;
    }
    if (imageSize > 0 && DisableAwaitsRestart()) {
        // The disable would only ask for the same restart again, and a second "needs a restart"
        // would end the cycle: nothing is touched until the restart has been made.
        PrintAndLog(L"%ls", RestartNotMadeYetText(PendingEntriesNow()).c_str());
        return kExitRestartToDisable;
    }
    if (journal_.enableFailed) {
        if (const std::optional<std::int32_t> failed = RetryFailedEnable()) return failed;
    }
    if (imageSize > 0 && !journal_.cutCards.empty()) {
        PrintAndLog(
            L"\n   The previous run was stopped while it programmed the cards at PCIe Bus "
            L"%ls: they are programmed again.\n",
            journal_.cutCards.c_str());
    }
    if (journal_.UpdateOver() && FinishUpdatedCycle() && imageSize > 0) {
        // Started by the resume entry of a run that ended just after its update: that cycle is
        // complete, and a new one would only restart the machine again.
        PrintAndLog(L"\n   The update of the previous run is complete; nothing more is done.\n");
        return journal_.result;
    }
    if (imageSize <= 0) {
        if (journal_.DriverMayBeOff()) BringBackWithoutUpdate();
        return std::nullopt;
    }
    if (!tool_.Extracted())
        return Stop(L"The device console tool could not be written to the working folder", 0);
    std::uint32_t queryCode = 0;
    const CDeviceConsoleTool::Query query = tool_.QueryDriver(runner_, &queryCode);
    if (query == CDeviceConsoleTool::Query::kToolUnusable)
        return Stop(L"The device console tool could not be checked or started", 0);
    // A query that failed cannot tell that no driver is installed: nothing is changed.
    if (query == CDeviceConsoleTool::Query::kFailed)
        return Stop(L"The installed display driver could not be queried", queryCode);
    const bool continuing = journal_.DriverMayBeOff();
    if (query == CDeviceConsoleTool::Query::kNoDriver) {
        // No driver any more: whatever a lost cycle left of the resume goes.
        if (continuing || journal_.phase != CyclePhase::kIdle) {
            Undo(&runner_);
            Save();
        }
        return std::nullopt;
    }
    driverPresent_ = true;

    SaveSettingsAndCloseSuite(continuing);
    if (const std::optional<std::int32_t> stopped = ArrangeResume(options, image)) return stopped;
    if (const std::optional<std::int32_t> stopped = DisableDriver(options)) return stopped;
    CloseDesktopSuite(host_);
    return std::nullopt;
}

std::int32_t CDisplayDriverCycle::RestartForDisable(const CCmdLine& options,
                                                    const std::function<void()>& releaseCards,
                                                    std::int32_t exitCode) {
    if (options.noReboot) {
        PrintAndLog(
            L"\n\n   For the display driver to be disabled, your system must be restarted.\n");
        return kExitRestartToDisable;
    }
    PrintAndLog(
        L"\n\n   For the display driver to be disabled, your system must be restarted.\n"
        L"   Your system and OvnK740FPGAUpdater will be restarted now.\n");
    const PromptAnswer answer = options.quiet ? PromptAnswer::kYes : ConfirmToContinue();
    if (answer != PromptAnswer::kYes) {
        releaseCards();
        GiveUpBeforeDisable();
        PrintAndLog(L"   Update aborted.\n\n");
        if (answer == PromptAnswer::kNo) return exitCode;
        SayHowToRunUnattended();
        return kExitUnanswered;
    }
    if (!RestartRequested(host_, L"to disable the display driver", L"go on with the update"))
        return kExitRestartToDisable;
    return exitCode;
}

std::int32_t CDisplayDriverCycle::BringDriverBack(const CCmdLine& options, bool aborted,
                                                  std::int32_t exitCode) {
    if (!driverDisabled_) return exitCode;
    journal_.result = exitCode;
    Save();
    const std::uint32_t enabled = tool_.Enable(runner_);
    if (!EnableSucceeded(enabled)) return KeepFailedEnable(enabled, !aborted);
    journal_.phase = CyclePhase::kEnabled;
    Save();
    if (aborted) {
        const tagCycleJournal saved = journal_;
        Undo(nullptr);
        journal_.settingsExported = saved.settingsExported;
        journal_.settingsRestored = saved.settingsRestored;
        RegisterImportIfSettingsSaved(journal_);
        Save();
        return exitCode;
    }
    if (options.noReboot) {
        PrintAndLog(
            L"\n\n   Enabling the graphics driver requires a reboot.\n   You must reboot the "
            L"computer to complete the update process.\n");
        // No restart here, but the suite's settings still come back at the next logon.
        EndWithTheImportRegistered();
        return kExitRestartToEnable;
    }
    if (exitCode != kExitSuccess && !options.quiet) {
        // The restart would take the failure off the screen before anyone read it.
        PrintAndLog(
            L"\n   The update failed (see above). Press any key to restart the computer...\n");
        platform::ReadKeyNoEcho();
    }
    // The power goes back before the last entry that starts the utility goes: the import entry
    // does not start it, so nothing later could.
    host_.RestorePowerSettings();
    journal_.originalPower.reset();
    Save();
    host_.TerminateDesktopCore();
    if (!importCommandLine_.empty()) {
        journal_.entries |= kEntryImport;
        Save();
        RegisterRunOnce(kImportValueName, importCommandLine_);
    }
    journal_.phase = CyclePhase::kImportRegistered;
    Save();
    DropResume(journal_);
    Save();
    Tidy();
    if (!RestartRequested(host_, L"after enabling the display driver", L"complete the update"))
        return kExitRestartToEnable;
    return exitCode;
}

void CDisplayDriverCycle::PlaysStart(const std::wstring& cards) {
    journal_.cutCards = cards;
    Save();
}

void CDisplayDriverCycle::PlaysEnded() {
    journal_.cutCards.clear();
    Save();
}

void CDisplayDriverCycle::EndRun() {
    // Before Prepare (help, an option error) nothing of the cycle is touched, nor by a listing.
    if (!handled_ && toolReady_.load() && !listing_.load()) {
        handled_ = true;
        if (journal_.enableFailed) RetryFailedEnable();
        if (journal_.UpdateOver()) {
            FinishUpdatedCycle();
        } else if (journal_.DriverMayBeOff() && !journal_.enableFailed) {
            BringBackWithoutUpdate();
        }
    }
    journal_.originalPower.reset();
    if (listing_.load()) {
        // A listing took no copy and registered nothing: the entries stay as it found them.
        Save();
        return;
    }
    if (!journal_.NeedsRepairEntry()) {
        DeleteRunOnce(kRepairValueName);
        journal_.entries &= ~static_cast<std::uint32_t>(kEntryRepair);
    }
    Save();
    RemoveProgramCopyUnlessNamed();
}

void CDisplayDriverCycle::RemoveProgramCopyUnlessNamed() {
    // The copy goes with the last entry that names it. Held, a running copy could be neither
    // renamed aside nor deleted: only its name would go at the restart, which may by then name
    // the copy of the next update.
    if (RegisteredRunOnce(kRepairValueName) || RegisteredRunOnce(kResumeValueName) ||
        RegisteredRunOnce(kResumeAgainValueName))
        return;
    program_->Release();
    RemoveProgramCopyAndHash(platform::PathOf(folder_));
}

void CDisplayDriverCycle::BringDisplayBackAfterInterruption() {
    std::lock_guard<std::mutex> hold(journalLock_);
    if (interrupted_.exchange(true)) return;
    // What was saved last is what this thread may rely on: the main thread's copy is its own.
    tagCycleJournal journal = LoadJournal();
    journal.originalPower.reset();
    const bool cycleOpen =
        journal.phase >= CyclePhase::kSettingsSaved && journal.phase <= CyclePhase::kDisabled;
    if (cycleOpen && toolReady_.load() && !listing_.load() &&
        (!journal.DriverMayBeOff() || tool_.Extracted())) {
        if (journal.DriverMayBeOff()) {
            // The main thread's runner may be in the middle of a child: this one has its own pipe.
            CChildRunner runner;
            tool_.Enable(runner);
        }
        DropResume(journal);
        Tidy();
        tagCycleJournal closed;
        closed.entries = journal.entries & kEntryRepair;
        closed.settingsExported = journal.settingsExported;
        closed.settingsRestored = journal.settingsRestored;
        // The cards whose play was cut stay named: the next start programs them again.
        closed.cutCards = journal.cutCards;
        // The suite was closed for this cycle: its settings come back at the next logon.
        RegisterImportIfSettingsSaved(closed);
        journal = closed;
    }
    if (!listing_.load() && !journal.NeedsRepairEntry()) {
        DeleteRunOnce(kRepairValueName);
        journal.entries &= ~static_cast<std::uint32_t>(kEntryRepair);
    }
    // The copy stays: the main thread may still be reading it; the next run replaces it.
    SaveJournal(journal);
}
