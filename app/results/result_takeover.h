// The result of a run that does not reach its own end: Ctrl+C or a closed window (the
// console-control thread ends the process) and an escaping failure (exit code 8). The run
// publishes what it knows so far; whichever ends the run writes the result, never both.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/results/outcome_kind.h"

struct tagRunResult;

// Main thread: the result so far (options, id, start, the cards listed) and the folder it goes to
// (empty: none is written). Until the process ends, a takeover writes this.
void PublishRunSoFar(const tagRunResult& soFar, const std::wstring& folder);

// Main thread: runs `write` (the run's own result) unless a takeover came first; false then.
// Held against a takeover while it writes, so the result a takeover writes is the last one.
bool WriteUnlessTakenOver(const std::function<void()>& write);

// Any thread, once: from now on the run's own end writes nothing. False when nothing was
// published (the run had not started, or was a refused start).
bool TakeOverResult();

// After TakeOverResult: the published result ended with this exit code (the console control's 1,
// the failure's 8) written as the last run's. Never throws; a failure goes to the log.
void WriteTakenOverResult(std::int32_t exitCode, RunEnd end);
