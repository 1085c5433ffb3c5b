// The cycle's log-only lines: what was asked, what came back, and what was left for the next logon.
#include "app/cycle/cycle_log.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/console/console_log.h"
#include "app/cycle/child_runner.h"
#include "platform/environment.h"
#include "platform/safe_file.h"

namespace {

// Tool output is the tool's narrow text: anything but printable ASCII is shown as '?', so the log
// stays one encoding whatever the tool wrote.
std::wstring Printable(const std::string& text) {
    std::wstring shown;
    for (unsigned char c : text) shown += (c >= 0x20 && c < 0x7F) ? static_cast<wchar_t>(c) : L'?';
    return shown;
}

// The size of the file on disk, -1 when it cannot be opened. Read like every other file the run
// trusts: never through a link.
long long FileBytes(const std::wstring& path) {
    const platform::FileResult<std::unique_ptr<platform::SafeFile>> file =
        platform::SafeFile::Open(path, platform::SafeOpenMode::kHold);
    if (!file) return -1;
    const platform::FileResult<std::vector<std::uint8_t>> bytes = (*file)->ReadAll();
    return bytes ? static_cast<long long>(bytes->size()) : -1;
}

}  // namespace

void LogDriverQuery(const std::wstring& commandLine, const std::string& output,
                    const std::string& decidingLine) {
    if (!decidingLine.empty()) {
        LogOnlyLine(
            L"   Driver query: %ls: a display driver is installed, named by the line \"%ls\"\n",
            commandLine.c_str(), Printable(decidingLine).c_str());
    } else {
        LogOnlyLine(L"   Driver query: %ls: no display driver (%u bytes of output name none)\n",
                    commandLine.c_str(), static_cast<unsigned>(output.size()));
    }
}

void LogSettingsRestored(const std::wstring& settingsFile, bool restored) {
    if (restored) {
        LogOnlyLine(L"   Suite settings restored from Config into %ls: %lld bytes\n",
                    settingsFile.c_str(), FileBytes(settingsFile));
    }
}

void LogSettingsExported(const std::wstring& commandLine, std::uint32_t exitCode,
                         const std::wstring& settingsFile) {
    const long long bytes = FileBytes(settingsFile);
    if (bytes < 0) {
        LogOnlyLine(L"   Suite settings export: %ls: exit code %u; no settings file\n",
                    commandLine.c_str(), static_cast<unsigned>(exitCode));
        return;
    }
    LogOnlyLine(L"   Suite settings export: %ls: exit code %u; %lld bytes\n", commandLine.c_str(),
                static_cast<unsigned>(exitCode), bytes);
}

void LogSettingsStored(bool fileRead, std::size_t bytes) {
    if (fileRead) {
        LogOnlyLine(L"   Suite settings stored in Config: %u bytes\n",
                    static_cast<unsigned>(bytes));
    } else {
        LogOnlyLine(
            L"   Suite settings not stored in Config: the settings file cannot be opened\n");
    }
}

void LogToolCommand(const wchar_t* word, std::uint32_t exitCode) {
    LogOnlyLine(L"   Display driver %ls: exit code %u%ls\n", word, static_cast<unsigned>(exitCode),
                exitCode == kNoExitCode ? L" (the tool did not run or gave no code)" : L"");
}

void LogToolOutput(const wchar_t* word, std::uint32_t exitCode, const std::string& output) {
    LogOnlyLine(L"   Display driver %ls failed (exit code %u); the tool wrote %u bytes:\n", word,
                static_cast<unsigned>(exitCode), static_cast<unsigned>(output.size()));
    std::size_t at = 0;
    while (at < output.size()) {
        std::size_t end = output.find('\n', at);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        LogOnlyLine(L"      %ls\n", Printable(line).c_str());
        at = end + 1;
    }
}

void LogRestartRequest(const wchar_t* purpose, std::uint32_t systemError) {
    if (systemError == 0) {
        LogOnlyLine(L"   Restart requested (%ls): accepted\n", purpose);
    } else {
        LogOnlyLine(L"   Restart requested (%ls): refused, system error %u\n", purpose,
                    static_cast<unsigned>(systemError));
    }
}

void LogRunOnceWritten(const wchar_t* valueName, const std::wstring& commandLine, bool written) {
    LogOnlyLine(L"   RunOnce value %ls %ls: %ls\n", valueName,
                written ? L"written" : L"could not be written", commandLine.c_str());
}

void LogTidyUp(bool runValueDeleted, bool configDeleted) {
    LogOnlyLine(L"   Tidy-up: Run value %ls, Config %ls\n",
                runValueDeleted ? L"deleted" : L"not present",
                configDeleted ? L"deleted" : L"not present");
}
