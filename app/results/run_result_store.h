// The result files in the result folder: the last run, the dated copies and the carried cycle.
#pragma once

#include <optional>
#include <string>

#include "app/results/run_result.h"
#include "platform/held_file.h"

inline constexpr const wchar_t* kLastRunFileName = L"last-run.json";
// The state a run that restarts for disabling leaves for the resumed run.
inline constexpr const wchar_t* kCarriedRunFileName = L"cycle-in-progress.json";
inline constexpr std::size_t kKeptRunCopies = 20;

// "run-20261208T104254Z-1a2b3c4d.json": the start time, then the run id's first 8 characters, so
// the names sort by start time and a resumed cycle replaces its own first copy. Formatted from the
// numbers the two parse to, never from their text; none when either is not of its format.
std::optional<std::wstring> RunCopyName(const tagRunResult& result);

// Deletes the oldest "run-*<extension>" files of the folder beyond the newest `keep` (the names
// sort by start time).
void PruneDatedCopies(const std::wstring& folder, const std::wstring& extension, std::size_t keep);

// Writes last-run.json and the dated copy (each by a temporary file and a rename), then deletes the
// oldest copies beyond 20. The failing call when a file could not be written.
[[nodiscard]] platform::FileStatus StoreRunResult(const std::wstring& folder,
                                                  const tagRunResult& result);

// Writes only the dated copy (and prunes): a start that did nothing leaves last-run.json alone.
[[nodiscard]] platform::FileStatus StoreRunCopy(const std::wstring& folder,
                                                const tagRunResult& result);

// At a run's start: the previous last-run.json goes to its dated copy's name (written whole by a
// temporary file and a rename, then the old name removed), so a run that cannot write its own
// result leaves none that is not its own. A file that is not a result of ours (its copy's name
// cannot be made) is removed. Nothing in `problem` when all went; else what could not be done.
void SetAsideLastRun(const std::wstring& folder, std::string* problem);

// The document's text. A string that is not valid UTF-8 (none should be: names are escaped) is
// written with U+FFFD rather than stop the writing.
std::string RunResultText(const tagRunResult& result);

// The cycle a restart for disabling interrupts: saved before the restart, taken (read and deleted)
// by the next run that reaches its end. Nothing when there is none; nothing, with the reason in
// `problem`, when the file is not a result of this format or a member the next run takes is not of
// its format (CarriedRunProblem).
[[nodiscard]] platform::FileStatus SaveCarriedRun(const std::wstring& folder,
                                                  const tagRunResult& result);
std::optional<tagRunResult> TakeCarriedRun(const std::wstring& folder, std::string* problem);
