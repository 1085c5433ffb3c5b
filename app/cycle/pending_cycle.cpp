// The texts about a pending cycle, from the journal and the registered entries.
#include "app/cycle/pending_cycle.h"

#include "app/cycle/reboot_resume.h"

namespace {

const wchar_t* PhaseText(CyclePhase phase) {
    switch (phase) {
        case CyclePhase::kIdle:
            return L"";
        case CyclePhase::kSettingsSaved:
            return L"the desktop suite's settings were saved; the display driver was not touched";
        case CyclePhase::kDisabling:
            return L"the display driver was being disabled when its run was cut off";
        case CyclePhase::kDisablePending:
            return L"the display driver waits for a restart to be disabled";
        case CyclePhase::kDisabled:
            return L"the display driver was disabled when its run was cut off";
        case CyclePhase::kEnabled:
            return L"the update is over and the display driver enabled; the settings import has "
                   L"not run";
        case CyclePhase::kImportRegistered:
            return L"the update is over; the settings import waits for the next logon";
    }
    return L"";
}

}  // namespace

tagPendingEntries PendingEntriesNow() {
    tagPendingEntries entries;
    entries.resume = RegisteredRunOnce(kResumeValueName).has_value() ||
                     RegisteredRunOnce(kResumeAgainValueName).has_value();
    entries.import = RegisteredRunOnce(kImportValueName).has_value();
    return entries;
}

const char* PendingCyclePhaseName(CyclePhase phase) {
    switch (phase) {
        case CyclePhase::kIdle:
            return "";
        case CyclePhase::kSettingsSaved:
            return "settingsSaved";
        case CyclePhase::kDisabling:
            return "disabling";
        case CyclePhase::kDisablePending:
            return "disablePending";
        case CyclePhase::kDisabled:
            return "disabled";
        case CyclePhase::kEnabled:
            return "enabled";
        case CyclePhase::kImportRegistered:
            return "importRegistered";
    }
    return "";
}

std::wstring PendingCycleNext(const tagCycleJournal& journal, const tagPendingEntries& entries,
                              bool sameBoot) {
    if (journal.phase == CyclePhase::kIdle) return {};
    if (journal.UpdateOver()) {
        if (entries.import) return L"The next logon imports the desktop suite's settings.";
        return L"The next start with an XSVF file runs the settings import first.";
    }
    if (entries.resume) {
        return sameBoot ? L"After the restart, the update resumes by itself at the logon."
                        : L"At the next logon the update resumes by itself.";
    }
    if (journal.phase == CyclePhase::kDisablePending && sameBoot)
        return L"Restart the computer, then start the update with its XSVF file again.";
    if (journal.DriverMayBeOff()) return L"The next start with an XSVF file continues the update.";
    return L"The next start with an XSVF file saves the settings afresh.";
}

std::wstring PendingCycleReport(const tagCycleJournal& journal, const tagPendingEntries& entries,
                                bool sameBoot) {
    if (journal.phase == CyclePhase::kIdle) return {};
    return std::wstring(L"\n   A display-driver update is pending: ") + PhaseText(journal.phase) +
           L".\n   " + PendingCycleNext(journal, entries, sameBoot) +
           L"\n   This listing leaves it as it is.\n\n";
}

std::wstring RestartNotMadeYetText(const tagPendingEntries& entries) {
    return std::wstring(
               L"\n   The display driver waits for the restart that disables it, and the computer "
               L"has not been restarted since.\n   Nothing was changed. ") +
           (entries.resume ? L"Restart the computer: the update resumes at the next logon.\n"
                           : L"Restart the computer, then start the update again.\n");
}
