// The log file's place and form, and PrintAndLog.
#include "app/console/console_log.h"

#include <atomic>
#include <cstdarg>
#include <cwchar>
#include <mutex>
#include <vector>

#include "platform/console.h"
#include "platform/environment.h"
#include "platform/log_folder.h"
#include "platform/safe_file.h"
#include "text/text_encoding.h"

namespace {

// Process-wide by nature: the log's path and its log-to-file flag belong to the process, and every
// step, the host services and the console-control thread (which logs the display's recovery while
// the main thread may be writing) write through the free functions below.
struct tagProcessLog {
    std::wstring filePath;
    std::wstring folderRefusal;  // why the log folder was refused; the run goes on without the log
    std::int32_t toFile = 1;
    std::atomic<bool> refusalShown{false};
    std::atomic<bool> atLineStart{true};  // the log's last character was a line break (or none yet)
    // Everything this process gave the log, also when the user's log is not written: the run's
    // copy in the working folder is made from it. The console-control thread logs too.
    std::mutex textLock;
    std::string text;
};
// Process-wide: the log is the process's, written through free functions by every step, the host
// services and the console-control thread.
tagProcessLog g_log;

constexpr const wchar_t* kLogName = L"OvnK740FpgaUpdater.log";

std::wstring ExpectedPath() { return g_log.filePath.empty() ? kLogName : g_log.filePath; }

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

// A link in the log's place is never written through; the operator hears of it once.
void SayNotWritten(const std::wstring& reason) {
    if (g_log.refusalShown.exchange(true)) return;
    platform::ConsoleWriteWide(L"   The log file " + ExpectedPath() + L" is not written: " +
                               reason + L".\n");
}

void KeepForThisRun(const std::string& text) {
    std::lock_guard<std::mutex> hold(g_log.textLock);
    g_log.text += text;
}

// Writes formatted text to the log file and keeps it for the run's copy.
void WriteLogText(const std::string& text, bool sayRefusal) {
    if (!g_log.toFile) return;
    if (sayRefusal && !g_log.folderRefusal.empty()) SayNotWritten(g_log.folderRefusal);
    KeepForThisRun(text);
    if (g_log.filePath.empty()) {
        if (!text.empty()) g_log.atLineStart = text.back() == '\n';
        return;
    }
    const platform::FileStatus appended = platform::AppendTextFile(g_log.filePath, text);
    if (appended) {
        if (!text.empty()) g_log.atLineStart = text.back() == '\n';
        return;
    }
    if (appended.error().refused()) SayNotWritten(Utf8ToWide(appended.error().call));
}

void AppendToLog(const wchar_t* format, va_list args) {
    if (!g_log.toFile) return;
    std::wstring logFormat(format);
    for (wchar_t& c : logFormat) {
        if (c == L'\b') c = L' ';
    }
    WriteLogText(WideToUtf8(FormatWide(logFormat.c_str(), args)), true);
}

// A line break first when the log's last text did not end its own line.
void StartLogLine() {
    if (!g_log.atLineStart && g_log.toFile) {
        KeepForThisRun("\n");
        g_log.atLineStart =
            g_log.filePath.empty() || platform::AppendTextFile(g_log.filePath, "\n").ok();
    }
}

}  // namespace

void BuildLogPath() {
    const auto folder = platform::PrepareLogFolder();
    g_log.folderRefusal = folder ? std::wstring() : Utf8ToWide(folder.error().text);
    g_log.refusalShown = false;
    g_log.filePath = folder ? *folder + kLogName : std::wstring();
}

const std::wstring& LogFilePath() { return g_log.filePath; }

void SetLogToFile(std::int32_t enabled) { g_log.toFile = enabled; }

std::string ThisProcessLogText() {
    std::lock_guard<std::mutex> hold(g_log.textLock);
    return g_log.text;
}

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
    StartLogLine();
    va_list args;
    va_start(args, format);
    AppendToLog(format, args);
    va_end(args);
}

void LogFrameLine(const std::wstring& line) {
    StartLogLine();
    WriteLogText(WideToUtf8(line) + "\n", false);
}

void LogHeaderLine(const std::wstring& line) {
    std::string early;
    {
        std::lock_guard<std::mutex> hold(g_log.textLock);
        early.swap(g_log.text);
    }
    g_log.atLineStart = true;
    LogFrameLine(line);
    if (early.empty()) return;
    if (early.back() != '\n') early += '\n';
    WriteLogText(early, false);
}

void LogOnly(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendToLog(format, args);
    va_end(args);
}
