// The journal of the display driver's cycle: what the run changed on the machine, kept in the
// utility's HKLM key so that the next start can finish or undo what a lost run left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The cycle's phases, in the order a cycle passes them. Each is written (and flushed) before the
// step it allows, so a cut-off run is found in the phase of the step it may have started.
enum class CyclePhase : std::uint32_t {
    kIdle = 0,              // no cycle: nothing of the driver or the suite is changed
    kSettingsSaved = 1,     // settings exported (or restored) and the suite about to close
    kDisabling = 2,         // resume registered, "Config" stored, the disable may have run
    kDisablePending = 3,    // the disable waits for a restart (asked for, or --noreboot)
    kDisabled = 4,          // the driver is off: the cards may be programmed
    kEnabled = 5,           // the enable has run after the update
    kImportRegistered = 6,  // the settings import waits for the next logon
};

// The run-once entries of the cycle, one per purpose; the journal lists those registered.
enum CycleEntry : std::uint32_t {
    kEntryResume = 1,  // the resumed update (either of the resume names)
    kEntryImport = 2,  // the suite's settings import
    kEntryRepair = 4,  // the repair: the program copy without an image
};

// One journal; all of it is one registry value, so each write replaces it whole.
struct tagCycleJournal {
    CyclePhase phase = CyclePhase::kIdle;
    std::optional<std::uint32_t> originalPower;  // while the run's raise may be in effect
    bool driverDisabled = false;                 // this cycle ran the disable
    bool restartedForDisable = false;            // the one restart for disabling a cycle may take
    bool noReboot = false;                       // the disable waits for a restart the caller makes
    bool settingsExported = false;
    bool settingsRestored = false;
    bool settingsImported = false;  // the import ran (known only for an import the utility ran)
    std::wstring imageHash;         // of the image the resume programs; may be empty
    std::wstring bootSession;       // the boot in which the disable asked for its restart
    std::int32_t result = 0;        // the exit code the update part of the cycle ended with
    // The enable after the update failed: the driver is still off, the update itself is over, and
    // every next start tries the enable again (the phase stays "disabled").
    bool enableFailed = false;
    // Cards whose play has started and not ended, as PCIe bus positions ("0300,0400"): a run that
    // is cut off leaves them here, so that its end is not taken for an update.
    std::wstring cutCards;
    std::uint32_t entries = 0;  // CycleEntry bits: the run-once entries registered

    // A cycle whose driver may be off or about to go off: its display has to come back.
    bool DriverMayBeOff() const {
        return phase >= CyclePhase::kDisabling && phase <= CyclePhase::kDisabled;
    }
    // The update of this cycle is over; only the settings import may be left.
    bool UpdateOver() const { return phase >= CyclePhase::kEnabled; }
    // The repair entry stays when the run ends: a driver may be off and no resume or caller's
    // restart will take it up (a disable that waits for a restart is the resume's).
    bool NeedsRepairEntry() const {
        return DriverMayBeOff() && phase != CyclePhase::kDisablePending;
    }
};

inline constexpr const wchar_t* kJournalValueName = L"Journal";

// The value's text and back ("phase=4;power=5;..."); unknown or damaged fields read as absent.
// An idle journal is kept as long as it has a power value or cut cards.
std::wstring JournalText(const tagCycleJournal& journal);
tagCycleJournal ParseJournal(const std::wstring& text);

// Reads the journal; an absent value is an idle journal.
tagCycleJournal LoadJournal();
// Writes the journal and flushes the key; an idle journal without a power value or an entry
// deletes it.
void SaveJournal(const tagCycleJournal& journal);
