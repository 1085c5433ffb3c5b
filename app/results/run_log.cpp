// Header and closing lines of each run in the log, and the log copy in the working folder.
#include "app/results/run_log.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "app/console/console_log.h"
#include "app/console/run_messages.h"
#include "app/results/outcome_kind.h"
#include "app/results/run_result_store.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/process_identity.h"
#include "text/text_encoding.h"

namespace {

// Process-wide like the log itself: the console-control handler closes the run from its own thread.
struct tagRunLogFrame {
    std::mutex lock;
    std::string runId, startTime;
    std::wstring folder;
    bool lastRun = true;
    bool opened = false;
    bool closed = false;
};
// Process-wide: the console-control handler closes the run's log from a thread it is handed
// nothing.
tagRunLogFrame g_frame;

constexpr std::size_t kKeptLogCopies = 20;

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
    return folder + platform::PathSeparator() + name;
}

// The log's own form: CR LF lines.
std::string WithCrLf(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
}

// Called with the frame's lock held.
void WriteCopies(const std::string& resultRunId) {
    if (g_frame.folder.empty()) return;
    const std::string bytes = WithCrLf(ThisProcessLogText());
    if (g_frame.lastRun &&
        !platform::ReplaceFileAtomically(InFolder(g_frame.folder, kLastRunLogFileName), bytes)) {
        return;
    }
    // Named as the dated result copies are, by this process's start: each process of a restart
    // cycle keeps its own log copy beside the cycle's result.
    tagRunResult naming;
    naming.runId = resultRunId.empty() ? g_frame.runId : resultRunId;
    naming.startTime = g_frame.startTime;
    std::optional<std::wstring> name = RunCopyName(naming);
    if (!name || name->size() < 5) return;
    name->replace(name->size() - 5, 5, L".log");
    if (platform::ReplaceFileAtomically(InFolder(g_frame.folder, *name), bytes))
        PruneDatedCopies(g_frame.folder, L".log", kKeptLogCopies);
}

void Close(const std::string& resultRunId, const std::string& kind, std::int32_t exitCode) {
    std::lock_guard<std::mutex> hold(g_frame.lock);
    if (!g_frame.opened || g_frame.closed) return;
    g_frame.closed = true;
    std::wstring closing = RunLogClosing(g_frame.runId, UtcTimestampNow(), kind, exitCode);
    // A resumed run's result carries the id of the cycle's first run.
    if (!resultRunId.empty() && resultRunId != g_frame.runId)
        closing += L", result of run " + Utf8ToWide(resultRunId);
    LogFrameLine(closing);
    WriteCopies(resultRunId);
}

}  // namespace

std::wstring RunLogHeader(const std::string& runId, const std::string& startTime) {
    // An account or elevation the system does not tell is written as unknown and not elevated.
    const auto accountName = platform::RunAccountName();
    const std::wstring account = accountName ? *accountName : std::wstring();
    const auto elevated = platform::RunIsElevated();
    return L"==== Run " + Utf8ToWide(runId) + L" started " + Utf8ToWide(startTime) +
           L": OvnK740FpgaUpdater " + std::to_wstring(kVersion[0]) + L"." +
           std::to_wstring(kVersion[1]) + L"." + std::to_wstring(kVersion[2]) + L"." +
           std::to_wstring(kVersion[3]) + L", user " + (account.empty() ? L"unknown" : account) +
           (elevated && *elevated ? L" (elevated)" : L" (not elevated)") + L", command line: " +
           platform::ProcessCommandLine();
}

std::wstring RunLogClosing(const std::string& runId, const std::string& endTime,
                           const std::string& outcomeKind, std::int32_t exitCode) {
    return L"==== Run " + Utf8ToWide(runId) + L" ended " + Utf8ToWide(endTime) + L": outcome " +
           Utf8ToWide(outcomeKind) + L", exit code " + std::to_wstring(exitCode);
}

void OpenRunLog(const std::string& runId, const std::string& startTime) {
    std::lock_guard<std::mutex> hold(g_frame.lock);
    if (g_frame.opened) return;
    g_frame.opened = true;
    g_frame.runId = runId;
    g_frame.startTime = startTime;
    LogHeaderLine(RunLogHeader(runId, startTime));
}

void UseRunLogFolder(const std::wstring& folder, bool lastRun) {
    std::lock_guard<std::mutex> hold(g_frame.lock);
    g_frame.folder = folder;
    if (!g_frame.folder.empty() && g_frame.folder.back() == platform::PathSeparator())
        g_frame.folder.pop_back();
    g_frame.lastRun = lastRun;
}

void KeepRunLogCopy(const tagRunResult& result) {
    std::lock_guard<std::mutex> hold(g_frame.lock);
    if (!g_frame.opened || g_frame.closed) return;
    WriteCopies(result.runId);
}

void CloseRunLog(const tagRunResult& result, std::int32_t exitCode) {
    tagRunResult ended = result;
    ended.exitCode = exitCode;
    Close(result.runId, OutcomeKind(ended), exitCode);
}

void CloseRunLogAs(const char* outcomeKind, std::int32_t exitCode) {
    Close(std::string(), outcomeKind, exitCode);
}
