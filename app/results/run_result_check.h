// The formats of the result's own values, for what a run reads back from the folder before use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/results/run_result.h"

// 32 lower-case hexadecimal digits, as NewRunId makes them.
bool IsRunIdText(const std::string& text);

// The fields of a UtcTimestamp text ("2026-12-08T10:42:54Z"); none for any other text, including
// dates that do not exist.
struct tagUtcFields {
    int year, month, day, hour, minute, second;
};
std::optional<tagUtcFields> ParseUtcTimestamp(const std::string& text);

// A version as the listing shows it: three numbers 0..255 ("1.4.2"), or "0.0.000" (no reply).
bool IsFpgaVersionText(const std::string& text);

// What is wrong with a cycle a restart carried, in words naming the member; empty when every
// member the resumed run takes (id, start, the processes, the cards' versions before, the repaired
// cycle) has its format.
std::string CarriedRunProblem(const tagRunResult& carried);
