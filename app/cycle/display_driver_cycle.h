// The display driver's cycle within one run: tool and suite prepared, driver off, the restart for
// disabling, the driver back with the restart at the end, and the repair of a cycle a lost run
// left, guided by the journal.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/console/exit_codes.h"
#include "app/cycle/child_runner.h"
#include "app/cycle/cycle_journal.h"
#include "app/cycle/display_driver.h"
#include "app/cycle/program_copy.h"
#include "platform/safe_file.h"
#include "platform/working_folder.h"

class CCmdLine;

// The run's image as the cycle copies and hashes it for the resume. The run owns the bytes and
// hands the cycle this view, so that the cycle never depends on what else the run holds.
struct tagCycleImage {
    const std::uint8_t* bytes = nullptr;
    std::int32_t size = 0;  // 0: no image
};

class CHostServices;

// What the run takes before it changes anything on the machine: the journal a lost run may have
// left (the repair entry already recorded in it), the working folder and the program copy.
struct tagRunStart {
    tagCycleJournal journal;
    // No folder until it is prepared.
    platform::WorkingFolderResult folder = platform::WorkingFolderError{};
    std::shared_ptr<CProgramCopy> program = std::make_shared<CProgramCopy>();
};

// Owned by the update run for its whole length (the extracted tool stays held until it goes).
// Main thread only, except BringDisplayBackAfterInterruption, which the console-control thread
// may call at any time: it works from the saved journal, and once it has run the main thread saves
// nothing more.
class CDisplayDriverCycle {
public:
    // host: the run's host services, which put the power back and restart the machine.
    CDisplayDriverCycle(tagRunStart start, CHostServices& host,
                        tagWaitClock clock = ProcessWaitClock());

    // The working folder (opened at the start) reported, the paths in it, the command lines and
    // the tool written out.
    void Prepare();

    // The admin-only folder Prepare opened (ends in the path separator); empty when there is none.
    const std::wstring& WorkingFolder() const { return workingFolder_; }

    // After Prepare: a start without an image that no logon entry made is a listing, which reports
    // a pending cycle and leaves it, the entries and the driver as they are (also when it is
    // interrupted).
    void DecideRole(const CCmdLine& options);
    bool Listing() const { return listing_.load(); }
    // The journal as this run found it (the listing's report; main thread).
    const tagCycleJournal& Journal() const { return journal_; }
    // The disable asked for a restart in the boot session the machine is still in.
    bool DisableAwaitsRestart() const;

    // A resumed run's image must be the one its restart recorded. True for any other run and for
    // a matching image (the run is then taken as started by the resume entry); false (said on the
    // console and in the log) for an image that differs.
    bool ImageIsTheRecordedOne(const char* fileName, const std::uint8_t* image,
                               std::int32_t imageSize);

    // A listing reports the pending cycle and changes nothing. A start with an image whose cycle's
    // disable waits for a restart not made yet (the same boot session) says so and returns 3,
    // changing nothing. Otherwise it first finishes a cycle whose update is over (a pending import
    // runs now, "Config" goes). Without an image, a cycle that a lost run left with the driver off
    // is undone. With one: asks whether a display driver is installed and, if so, saves or restores
    // the suite's settings, closes the suite, copies the program and the image into the working
    // folder and registers the resume (unless --noreboot), disables the driver, closes the suite
    // again (a cycle the journal shows in progress is continued). Returns an exit code when the run
    // must stop before programming; the host is then back as it was and the reason is on the
    // console.
    std::optional<std::int32_t> SwitchDriverOff(const CCmdLine& options,
                                                const tagCycleImage& image);

    bool DisableNeedsRestart() const { return disableNeedsRestart_; }
    bool DriverDisabled() const { return driverDisabled_; }

    // The registry's values of the cycle and the resume copies go (the tidy-up).
    void Tidy();
    // The cycle is over with the display driver back: the suite's settings come back at the next
    // logon (when they were saved), each step saved before the next, then the tidy-up.
    void EndWithTheImportRegistered();

    // The disable asked for a restart: under --noreboot exit code 3 (the journal keeps the cycle
    // for the next start); otherwise the prompt, and on yes the restart requested (exit code 3 when
    // it is refused; 13 when the prompt's input ended). Returns the exit code.
    // releaseCards lets go of the cards' pins (the run's) when the restart is declined, before the
    // cycle is undone.
    std::int32_t RestartForDisable(const CCmdLine& options,
                                   const std::function<void()>& releaseCards,
                                   std::int32_t exitCode);

    // The programming step plays on these cards (PCIe bus positions): the journal names them
    // until PlaysEnded, so that a run cut off meanwhile is not taken for an update.
    void PlaysStart(const std::wstring& cards);
    void PlaysEnded();

    // After the update (or its refusal at the warning prompt): enables a disabled driver, then
    // restarts with the suite's import registered, or under --noreboot returns exit code 4 (4 as
    // well when the restart is refused). A failed card is kept on screen until a key unless quiet.
    // A failed enable (any code but 0 and 1) is said and returns exit code 10 without a restart:
    // the journal, "Config" and the resume entry stay, so the next start enables again.
    std::int32_t BringDriverBack(const CCmdLine& options, bool aborted, std::int32_t exitCode);
    bool EnableFailed() const { return enableFailed_; }

    // The run ends by itself (any path): a cycle the run never reached is repaired, and the power
    // value goes from the journal (the caller has put the setting back). The repair entry goes
    // unless the journal still needs it, and the program copy once no entry names it.
    void EndRun();

    // Ctrl+C, a closed window or an escaping failure: a driver this cycle may have taken off is
    // enabled again, the resume is dropped, the import registered when the suite was closed for
    // this cycle, and the journal closed. Safe from any thread, once.
    void BringDisplayBackAfterInterruption();

private:
    void Save();
    // A journal with no cycle, keeping what outlives a cycle: the power and the repair entry.
    tagCycleJournal Fresh() const;
    // The suite was closed with its settings saved for this cycle: they come back at the next
    // logon (the import entry, recorded first).
    void RegisterImportIfSettingsSaved(tagCycleJournal& journal) const;
    // The resume entries go from the registry and the journal.
    static void DropResume(tagCycleJournal& journal);
    void RemoveProgramCopyUnlessNamed();
    // The cycle ends without an update: enable (with the runner given), resume dropped, "Config"
    // deleted, journal idle.
    void Undo(CChildRunner* enableWith);
    // A lost run's cycle whose update is over: the import finished, the leftovers removed. True
    // when a resume entry was still registered (this start may be that leftover's).
    bool FinishUpdatedCycle();
    // A lost run's cycle with the driver possibly off, and no update in this run.
    void BringBackWithoutUpdate();
    // Nothing was disabled: what the cycle did so far is undone, the suite's settings come back
    // at the next logon.
    void GiveUpBeforeDisable();
    std::optional<std::int32_t> Stop(const wchar_t* reason, std::uint32_t code);
    // The enable failed: said on the console; the journal keeps the driver off (and, after an
    // update, that only the enable is left). Returns exit code 10.
    std::int32_t KeepFailedEnable(std::uint32_t code, bool updateOver);
    // A journal whose enable failed after its update: the enable is tried again. Exit code 10 when
    // it fails again; otherwise the journal says "enabled" and the cycle is finished as such.
    std::optional<std::int32_t> RetryFailedEnable();
    // The steps of SwitchDriverOff, in order; a value is the exit code of a run that stops there.
    void SaveSettingsAndCloseSuite(bool continuing);
    std::optional<std::int32_t> ArrangeResume(const CCmdLine& options, const tagCycleImage& image);
    std::optional<std::int32_t> DisableDriver(const CCmdLine& options);
    // The resume entry's command, naming copies in the working folder; the failing call when they
    // could not be made.
    platform::FileResult<std::wstring> PrepareResume(const CCmdLine& options,
                                                     const tagCycleImage& image);

    CHostServices& host_;
    platform::WorkingFolderResult folder_;
    std::shared_ptr<CProgramCopy> program_;
    std::wstring workingFolder_;
    std::wstring resumeCommandLine_;
    CChildRunner runner_;
    CDeviceConsoleTool tool_{std::wstring()};
    std::atomic<bool> toolReady_{false};
    std::wstring settingsFile_;
    std::wstring exportCommandLine_;
    std::wstring importCommandLine_;
    std::mutex journalLock_;  // orders the saves with the interruption's
    tagCycleJournal journal_;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> listing_{false};
    bool resumedRun_ = false;  // started on the resume copies: by a resume entry
    bool handled_ = false;     // the lost run's cycle was looked at (continued or repaired)
    bool driverPresent_ = false;
    bool driverDisabled_ = false;
    bool disableNeedsRestart_ = false;
    bool enableFailed_ = false;
};
