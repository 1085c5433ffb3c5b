// The log file's place and form, and PrintAndLog.
#include "app/console_log.h"

#include <atomic>
#include <cstdarg>
#include <cwchar>
#include <vector>

#include "platform/console.h"
#include "platform/environment.h"
#include "platform/safe_file.h"
#include "platform/text_encoding.h"

namespace {

std::wstring logFilePath;
std::int32_t logToFile = 1;
// The console-control thread logs the display's recovery while the main thread may be writing.
std::atomic<bool> logRefusalShown{false};
std::atomic<bool> logAtLineStart{true};  // the log's last character was a line break (or none yet)

std::wstring FormatWide(const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(512);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int length = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (length >= 0 && static_cast<std::size_t>(length) < buffer.size()) {
            return std::wstring(buffer.data(), static_cast<std::size_t>(length));
        }
        // vswprintf gives no length when the buffer is short; grow until it fits.
        if (buffer.size() >= (1u << 22)) return std::wstring(buffer.data());
        buffer.resize(buffer.size() * 4);
    }
}

void AppendToLog(const wchar_t* format, va_list args) {
    if (!logToFile || logFilePath.empty()) return;
    std::wstring logFormat(format);
    for (wchar_t& c : logFormat) {
        if (c == L'\b') c = L' ';
    }
    const std::string text = WideToUtf8(FormatWide(logFormat.c_str(), args));
    platform::FileError error;
    if (platform::AppendTextFile(logFilePath, text, &error)) {
        if (!text.empty()) logAtLineStart = text.back() == '\n';
        return;
    }
    if (!error.refused() || logRefusalShown.exchange(true)) return;
    // A link in the log's place is never written through; the operator hears of it once.
    platform::ConsoleWriteWide(L"   The log file " + logFilePath + L" is not written: " +
                               Utf8ToWide(error.call) + L".\n");
}

}  // namespace

void BuildLogPath() {
    auto base = platform::GetEnvironmentWide(L"LOCALAPPDATA", 2048);
    if (!base) {
        logFilePath.clear();
        return;
    }
    const wchar_t sep = platform::PathSeparator();
    std::wstring path = *base + sep + L"Orvane";
    platform::CreateDirectoryWide(path);
    path += sep;
    path += L"OvnK740FpgaUpdater";
    platform::CreateDirectoryWide(path);
    path += sep;
    path += L"OvnK740FpgaUpdater.log";
    logFilePath = path;
}

const std::wstring& LogFilePath() { return logFilePath; }

void SetLogToFile(std::int32_t enabled) { logToFile = enabled; }

void PrintAndLog(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    va_list forLog;
    va_copy(forLog, args);
    platform::ConsoleWriteWide(FormatWide(format, args));
    AppendToLog(format, forLog);
    va_end(forLog);
    va_end(args);
}

void LogOnlyLine(const wchar_t* format, ...) {
    if (!logAtLineStart && logToFile && !logFilePath.empty())
        logAtLineStart = platform::AppendTextFile(logFilePath, "\n");
    va_list args;
    va_start(args, format);
    AppendToLog(format, args);
    va_end(args);
}

void LogOnly(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendToLog(format, args);
    va_end(args);
}
