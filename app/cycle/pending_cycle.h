// What a run that leaves a pending display-driver cycle alone says about it: the phase, and what
// the next start with the image or the next logon will do with it.
#pragma once

#include <string>

#include "app/cycle/cycle_journal.h"

// The logon entries the cycle registered, as the run-once key holds them now.
struct tagPendingEntries {
    bool resume = false;  // the resume (or its second entry) starts the update at the next logon
    bool import = false;  // the settings import runs at the next logon
};
tagPendingEntries PendingEntriesNow();

// The phase's name in the result file ("disablePending"); empty for an idle journal.
const char* PendingCyclePhaseName(CyclePhase phase);
// What happens to the cycle next, in one sentence; empty for an idle journal. `sameBoot`: the
// disable asked for its restart in the boot session the machine is still in.
std::wstring PendingCycleNext(const tagCycleJournal& journal, const tagPendingEntries& entries,
                              bool sameBoot);
// The listing's lines about the cycle; empty for an idle journal.
std::wstring PendingCycleReport(const tagCycleJournal& journal, const tagPendingEntries& entries,
                                bool sameBoot);
// A start with the image while the disable still waits for its restart.
std::wstring RestartNotMadeYetText(const tagPendingEntries& entries);
