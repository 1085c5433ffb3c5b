// The journal's text form and its one registry value.
#include "app/cycle/cycle_journal.h"

#include <cwchar>
#include <vector>

#include "app/cycle/reboot_resume.h"
#include "platform/registry.h"

namespace {

std::wstring Field(const wchar_t* name, std::uint32_t value) {
    return std::wstring(name) + L"=" + std::to_wstring(value) + L";";
}

bool ParseNumber(const std::wstring& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (number > 0xFFFFFFFFull) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

constexpr struct {
    CycleEntry entry;
    const wchar_t* name;
} kEntryNames[] = {{kEntryResume, L"resume"}, {kEntryImport, L"import"}, {kEntryRepair, L"repair"}};

std::wstring EntriesText(std::uint32_t entries) {
    std::wstring text;
    for (const auto& known : kEntryNames) {
        if (!(entries & known.entry)) continue;
        if (!text.empty()) text += L",";
        text += known.name;
    }
    return text;
}

std::uint32_t ParseEntries(const std::wstring& text) {
    std::uint32_t entries = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(L',', at);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring name = text.substr(at, end - at);
        for (const auto& known : kEntryNames)
            if (name == known.name) entries |= known.entry;
        at = end + 1;
    }
    return entries;
}

}  // namespace

std::wstring JournalText(const tagCycleJournal& journal) {
    std::wstring text = Field(L"phase", static_cast<std::uint32_t>(journal.phase));
    if (journal.originalPower) text += Field(L"power", *journal.originalPower);
    text += Field(L"disabled", journal.driverDisabled);
    text += Field(L"restarted", journal.restartedForDisable);
    text += Field(L"noreboot", journal.noReboot);
    text += Field(L"exported", journal.settingsExported);
    text += Field(L"restored", journal.settingsRestored);
    text += Field(L"imported", journal.settingsImported);
    text += Field(L"result", static_cast<std::uint32_t>(journal.result));
    if (journal.enableFailed) text += Field(L"enablefailed", 1);
    if (!journal.cutCards.empty()) text += L"cut=" + journal.cutCards + L";";
    if (!journal.bootSession.empty()) text += L"boot=" + journal.bootSession + L";";
    text += L"entries=" + EntriesText(journal.entries) + L";";
    // Last, as it may hold anything but a semicolon.
    text += L"hash=" + journal.imageHash;
    return text;
}

tagCycleJournal ParseJournal(const std::wstring& text) {
    tagCycleJournal journal;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(L';', at);
        const std::wstring field = text.substr(at, end == std::wstring::npos ? end : end - at);
        at = end == std::wstring::npos ? text.size() : end + 1;
        const std::size_t equals = field.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring name = field.substr(0, equals);
        const std::wstring value = field.substr(equals + 1);
        if (name == L"hash") {
            journal.imageHash = text.substr(text.find(L"hash=") + 5);
            break;
        }
        if (name == L"cut") {
            journal.cutCards = value;
            continue;
        }
        if (name == L"boot") {
            journal.bootSession = value;
            continue;
        }
        if (name == L"entries") {
            journal.entries = ParseEntries(value);
            continue;
        }
        std::uint32_t number = 0;
        if (!ParseNumber(value, number)) continue;
        if (name == L"phase" && number <= static_cast<std::uint32_t>(CyclePhase::kImportRegistered))
            journal.phase = static_cast<CyclePhase>(number);
        else if (name == L"power" && number <= 100)
            journal.originalPower = number;
        else if (name == L"disabled")
            journal.driverDisabled = number != 0;
        else if (name == L"restarted")
            journal.restartedForDisable = number != 0;
        else if (name == L"noreboot")
            journal.noReboot = number != 0;
        else if (name == L"exported")
            journal.settingsExported = number != 0;
        else if (name == L"restored")
            journal.settingsRestored = number != 0;
        else if (name == L"imported")
            journal.settingsImported = number != 0;
        else if (name == L"result")
            journal.result = static_cast<std::int32_t>(number);
        else if (name == L"enablefailed")
            journal.enableFailed = number != 0;
    }
    return journal;
}

tagCycleJournal LoadJournal() {
    auto text = platform::RegistryGetString(kUtilityKey, kJournalValueName);
    return text ? ParseJournal(*text) : tagCycleJournal{};
}

void SaveJournal(const tagCycleJournal& journal) {
    if (journal.phase == CyclePhase::kIdle && !journal.originalPower && journal.cutCards.empty() &&
        journal.entries == 0) {
        // Deleting a journal that is not there is the normal case of an idle start.
        (void)platform::RegistryDeleteValue(kUtilityKey, kJournalValueName);
    } else {
        // The registry is the journal's only place: when it refuses, the run goes on with the
        // journal it holds in memory, and the next start reads the last one written.
        (void)platform::RegistrySetString(kUtilityKey, kJournalValueName, JournalText(journal));
    }
    // A failed flush keeps the journal written, only less sure to outlive a power cut.
    (void)platform::RegistryFlushKey(kUtilityKey);
}
