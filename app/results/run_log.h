// The run's frame in the log (a header line before the banner, a closing line at the end) and the
// copy of this process's log lines beside the result in the admin-only working folder.
#pragma once

#include <cstdint>
#include <string>

#include "app/results/run_result.h"

inline constexpr const wchar_t* kLastRunLogFileName = L"last-run.log";

// Writes the header line (log only): UTC start, run id, utility version, command line, account and
// whether the process is elevated. Once per process; later calls do nothing.
void OpenRunLog(const std::string& runId, const std::string& startTime);

// The working folder the copy goes to (empty: no copy). lastRun false: a start that may not replace
// the files of the run that holds the lock keeps only its dated copy.
void UseRunLogFolder(const std::wstring& folder, bool lastRun = true);

// Replaces the copy with this process's log lines so far: "last-run.log" and the dated
// "run-<start>-<id>.log" (the start of this process, the run id of its result), newest 20 kept.
void KeepRunLogCopy(const tagRunResult& result);

// The closing line (log only) with the result's outcome kind for the exit code, and the code, then
// the copy once more. Only the first close of a process writes.
void CloseRunLog(const tagRunResult& result, std::int32_t exitCode);
// The same where no result is at hand (the console-control handler, a run stopped by its own
// failure): the kind is given.
void CloseRunLogAs(const char* outcomeKind, std::int32_t exitCode);

// The header and closing texts, without the line break.
std::wstring RunLogHeader(const std::string& runId, const std::string& startTime);
std::wstring RunLogClosing(const std::string& runId, const std::string& endTime,
                           const std::string& outcomeKind, std::int32_t exitCode);
