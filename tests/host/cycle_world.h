// Shared by the whole-cycle tests: machines with a display driver, a sandbox with the suite, and
// what the simulated host recorded.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "simhost/host_records.h"
#include "simhost/host_registry.h"
#include "simhost/host_state.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"
#include "text/text_encoding.h"

namespace cycle {

using sim::host::RegistryView;

inline constexpr const wchar_t* kRunOnceKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const wchar_t* kUtilityKey = L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater";
inline constexpr const wchar_t* kCoreEvent = L"Global\\OvnPluxCoreCloseEvent_1";
inline constexpr const char* kDisableRestartText =
    "\n\n   For the display driver to be disabled, your system must be restarted.\n"
    "   Your system and OvnK740FPGAUpdater will be restarted now.\n";

// The settings: odd length, a percent sign and a zero 16-bit unit, so every byte must survive.
inline const std::string kSettings("%PX\0\0cfg\xff", 9);

inline std::string Hex(const std::string& bytes) { return sim::host::HexOf(bytes); }

inline std::string DisplayDriver(const std::string& disable) {
    return R"({"driver": {"infPath": "C:\\Windows\\INF\\oem12.inf", "infSection": "K740",
               "files": ["C:\\Windows\\System32\\DriverStore\\k740disp.sys"]},
               "disable": ")" +
           disable + "\"}";
}

// extraMembers: further members of the machine file, e.g. "\"stallWritesAfter\": 100".
inline std::string Machine(const std::string& disable, const std::string& suite = "",
                           const std::string& extraMembers = "") {
    std::vector<tagTestCard> cards = DefaultCards();
    if (!disable.empty())
        for (tagTestCard& card : cards) card.display = DisplayDriver(disable);
    const std::string suiteMember =
        suite.empty() ? "\"suite\": {\"settingsHex\": \"" + Hex(kSettings) + "\"}" : suite;
    return MachineJson(cards, true,
                       extraMembers.empty() ? suiteMember : suiteMember + ", " + extraMembers);
}

// A sandbox with the suite installed and its core running in session 1; the test process reads the
// sandbox's simulated host.
struct CycleBox {
    explicit CycleBox(const std::string& machine, const std::string& stateDirectory = "") {
        if (!stateDirectory.empty()) box.UseStateDirectory(stateDirectory);
        setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
        box.UseMachine(machine);
        box.InstallSuite();
        StartCore();
    }
    void StartCore() {
        sim::host::CreateNamedEvent(kCoreEvent);
        sim::host::AddProcess(L"Orvane.Plux.Core.exe", 1);
    }
    UpdaterSandbox box;
};

// The resume entry and the import entry; each is deleted by the logon after it has run.
inline std::optional<std::wstring> RunOnce() {
    return sim::host::RegistryGetString(RegistryView::k32, kRunOnceKey, L"!OvnK740FpgaUpdater");
}
inline std::optional<std::wstring> ImportEntry() {
    return sim::host::RegistryGetString(RegistryView::k32, kRunOnceKey,
                                        L"!OvnK740FpgaUpdaterImport");
}

// The entry that repairs at the next logon what a lost or stopped run left.
inline std::optional<std::wstring> RepairEntry() {
    return sim::host::RegistryGetString(RegistryView::k32, kRunOnceKey,
                                        L"!OvnK740FpgaUpdaterRepair");
}

// Every run-once value, by name.
inline std::vector<std::wstring> RunOnceNames() {
    return sim::host::RegistryValueNames(RegistryView::k32, kRunOnceKey);
}

inline std::optional<std::string> Config() {
    auto value = sim::host::RegistryGetValue(RegistryView::k32, kUtilityKey, L"Config");
    if (!value) return std::nullopt;
    EXPECT_EQ(value->type, sim::host::kRegSz);
    return std::string(value->data.begin(), value->data.end());
}

// The command words the utility gave its children, in order: "driverfiles", "/export", ...
inline std::vector<std::string> ChildWords() {
    std::vector<std::string> words;
    for (const std::wstring& line : sim::host::ChildCommands()) {
        for (const char* word : {"driverfiles", "disable", "enable", "/export", "/import"}) {
            if (WideToUtf8(line).find(std::string(" ") + word + " ") != std::string::npos)
                words.push_back(word);
        }
    }
    return words;
}

inline bool CoreRuns() {
    for (const auto& process : sim::host::Processes())
        if (process.name == L"Orvane.Plux.Core.exe") return true;
    return false;
}

using Words = std::vector<std::string>;

}  // namespace cycle
