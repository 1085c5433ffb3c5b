// What a listing says about a pending cycle: each phase named, and the next step that matches the
// entries registered and whether the restart has been made.
#include "app/cycle/pending_cycle.h"

#include <gtest/gtest.h>

namespace {

tagCycleJournal InPhase(CyclePhase phase) {
    tagCycleJournal journal;
    journal.phase = phase;
    return journal;
}

TEST(PendingCycle, AnIdleJournalSaysNothingAndEveryOtherPhaseHasANameAndANextStep) {
    const tagPendingEntries none;
    EXPECT_TRUE(PendingCycleReport(InPhase(CyclePhase::kIdle), none, false).empty());
    EXPECT_STREQ(PendingCyclePhaseName(CyclePhase::kIdle), "");
    for (CyclePhase phase :
         {CyclePhase::kSettingsSaved, CyclePhase::kDisabling, CyclePhase::kDisablePending,
          CyclePhase::kDisabled, CyclePhase::kEnabled, CyclePhase::kImportRegistered}) {
        const std::wstring report = PendingCycleReport(InPhase(phase), none, false);
        EXPECT_NE(report.find(L"A display-driver update is pending: "), std::wstring::npos);
        EXPECT_NE(report.find(L"This listing leaves it as it is."), std::wstring::npos);
        EXPECT_FALSE(PendingCycleNext(InPhase(phase), none, false).empty());
        EXPECT_STRNE(PendingCyclePhaseName(phase), "");
    }
}

TEST(PendingCycle, TheNextStepFollowsTheEntriesAndTheRestart) {
    const tagCycleJournal pending = InPhase(CyclePhase::kDisablePending);
    tagPendingEntries none, resume, import;
    resume.resume = true;
    import.import = true;
    // --noreboot: the caller restarts, then starts again with the image.
    EXPECT_EQ(PendingCycleNext(pending, none, true),
              L"Restart the computer, then start the update with its XSVF file again.");
    EXPECT_EQ(PendingCycleNext(pending, none, false),
              L"The next start with an XSVF file continues the update.");
    EXPECT_EQ(PendingCycleNext(pending, resume, true),
              L"After the restart, the update resumes by itself at the logon.");
    EXPECT_EQ(PendingCycleNext(InPhase(CyclePhase::kImportRegistered), import, false),
              L"The next logon imports the desktop suite's settings.");
    EXPECT_NE(RestartNotMadeYetText(none).find(L"start the update again"), std::wstring::npos);
    EXPECT_NE(RestartNotMadeYetText(resume).find(L"resumes at the next logon"), std::wstring::npos);
}

}  // namespace
