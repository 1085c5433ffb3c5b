// The journal's text survives a round trip, and a damaged one reads as what can still be trusted.
#include "app/cycle/cycle_journal.h"

#include <gtest/gtest.h>

TEST(CycleJournal, EveryFieldSurvivesItsTextAndDamageReadsAsAbsent) {
    tagCycleJournal journal;
    journal.phase = CyclePhase::kDisablePending;
    journal.originalPower = 35;
    journal.driverDisabled = true;
    journal.restartedForDisable = true;
    journal.settingsExported = true;
    journal.result = 3;
    journal.enableFailed = true;
    journal.cutCards = L"0300,0400";
    journal.imageHash = L"ab;cd=ef";  // anything, the separators included
    journal.bootSession = L"133809552000000000";
    const tagCycleJournal back = ParseJournal(JournalText(journal));
    EXPECT_EQ(back.phase, CyclePhase::kDisablePending);
    EXPECT_EQ(back.originalPower, 35u);
    EXPECT_TRUE(back.driverDisabled && back.restartedForDisable && back.settingsExported);
    EXPECT_FALSE(back.noReboot || back.settingsRestored || back.settingsImported);
    EXPECT_EQ(back.result, 3);
    EXPECT_EQ(back.imageHash, L"ab;cd=ef");
    EXPECT_TRUE(back.enableFailed);
    EXPECT_EQ(back.cutCards, L"0300,0400");
    EXPECT_FALSE(ParseJournal(L"phase=4;").enableFailed);
    EXPECT_EQ(back.bootSession, L"133809552000000000");
    // A journal written before the boot session was recorded has none: no restart is assumed.
    EXPECT_TRUE(ParseJournal(L"phase=3;noreboot=1;hash=").bootSession.empty());
    EXPECT_TRUE(back.DriverMayBeOff());
    EXPECT_FALSE(back.UpdateOver());

    // A phase beyond the last, a power above 100 and garbage are not believed.
    const tagCycleJournal damaged = ParseJournal(L"phase=9;power=101;disabled=x;junk;result=");
    EXPECT_EQ(damaged.phase, CyclePhase::kIdle);
    EXPECT_FALSE(damaged.originalPower);
    EXPECT_FALSE(damaged.driverDisabled);
    EXPECT_FALSE(ParseJournal(L"").originalPower);
    EXPECT_TRUE(ParseJournal(L"phase=6;").UpdateOver());
}

TEST(CycleJournal, TheRegisteredEntriesAreListedByPurposeAndDecideWhetherTheRepairStays) {
    tagCycleJournal journal;
    journal.entries = kEntryResume | kEntryRepair;
    const std::wstring text = JournalText(journal);
    EXPECT_NE(text.find(L"entries=resume,repair;"), std::wstring::npos);
    EXPECT_EQ(ParseJournal(text).entries, static_cast<std::uint32_t>(kEntryResume | kEntryRepair));
    // An unknown name is not believed, the known ones still are.
    EXPECT_EQ(ParseJournal(L"phase=0;entries=import,bogus,;hash=").entries,
              static_cast<std::uint32_t>(kEntryImport));

    // The repair stays only while a driver may be off with nothing else to bring it back.
    for (CyclePhase phase :
         {CyclePhase::kIdle, CyclePhase::kSettingsSaved, CyclePhase::kDisablePending,
          CyclePhase::kEnabled, CyclePhase::kImportRegistered}) {
        journal.phase = phase;
        EXPECT_FALSE(journal.NeedsRepairEntry()) << static_cast<int>(phase);
    }
    for (CyclePhase phase : {CyclePhase::kDisabling, CyclePhase::kDisabled}) {
        journal.phase = phase;
        EXPECT_TRUE(journal.NeedsRepairEntry()) << static_cast<int>(phase);
    }
}
