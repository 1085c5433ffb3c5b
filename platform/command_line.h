// Command-line text as Windows reads it: where the program ends, how the arguments split, quoting.
#pragma once

#include <string>
#include <vector>

namespace platform {

// One way to read the start of a command line as the program: its path and the text after it.
struct ProgramCandidate {
    std::wstring program;
    std::wstring rest;  // the arguments' text, without the blank that separated them
};

// The readings the platform tries, in its order: a quoted start is the one path inside the quotes;
// an unquoted start is tried up to each blank in turn and then as a whole ("C:\Program" before
// "C:\Program Files\...").
std::vector<ProgramCandidate> ProgramCandidates(const std::wstring& commandLine);

// Splits argument text by the C runtime's rules: blanks separate, double quotes group, 2n
// backslashes before a quote give n and the quote toggles grouping, 2n+1 give n and a quote.
std::vector<std::wstring> SplitArguments(const std::wstring& text);

// The path in double quotes when it contains a blank; unchanged otherwise.
std::wstring QuoteIfBlank(const std::wstring& path);

// Joins arguments into one command line that SplitArguments reads back to the same list.
std::wstring JoinArguments(const std::vector<std::wstring>& arguments);

}  // namespace platform
