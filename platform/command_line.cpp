// Command-line text as Windows reads it, shared by the host edition's child start and the tests.
#include "platform/command_line.h"

namespace platform {

std::vector<ProgramCandidate> ProgramCandidates(const std::wstring& commandLine) {
    std::vector<ProgramCandidate> candidates;
    if (commandLine.empty()) return candidates;
    auto restAfter = [&commandLine](std::size_t at) {
        while (at < commandLine.size() && (commandLine[at] == L' ' || commandLine[at] == L'\t'))
            ++at;
        return commandLine.substr(at);
    };
    if (commandLine[0] == L'"') {
        const std::size_t close = commandLine.find(L'"', 1);
        if (close == std::wstring::npos) {
            candidates.push_back({commandLine.substr(1), std::wstring()});
        } else {
            candidates.push_back({commandLine.substr(1, close - 1), restAfter(close + 1)});
        }
        return candidates;
    }
    for (std::size_t blank = commandLine.find(L' '); blank != std::wstring::npos;
         blank = commandLine.find(L' ', blank + 1)) {
        if (blank > 0) candidates.push_back({commandLine.substr(0, blank), restAfter(blank + 1)});
    }
    candidates.push_back({commandLine, std::wstring()});
    return candidates;
}

std::vector<std::wstring> SplitArguments(const std::wstring& text) {
    std::vector<std::wstring> arguments;
    std::size_t at = 0;
    while (true) {
        while (at < text.size() && (text[at] == L' ' || text[at] == L'\t')) ++at;
        if (at >= text.size()) break;
        std::wstring argument;
        bool quoted = false;
        while (at < text.size() && (quoted || (text[at] != L' ' && text[at] != L'\t'))) {
            std::size_t backslashes = 0;
            while (at < text.size() && text[at] == L'\\') {
                ++backslashes;
                ++at;
            }
            if (at < text.size() && text[at] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument += L'"';
                } else if (quoted && at + 1 < text.size() && text[at + 1] == L'"') {
                    argument += L'"';  // "" inside quotes is one literal quote
                    ++at;
                } else {
                    quoted = !quoted;
                }
                ++at;
                continue;
            }
            argument.append(backslashes, L'\\');
            if (backslashes == 0 && at < text.size()) argument += text[at++];
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::wstring QuoteIfBlank(const std::wstring& path) {
    if (path.find(L' ') == std::wstring::npos) return path;
    return L"\"" + path + L"\"";
}

std::wstring JoinArguments(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (const std::wstring& argument : arguments) {
        if (!line.empty()) line += L' ';
        const bool needsQuotes =
            argument.empty() || argument.find_first_of(L" \t\"") != std::wstring::npos;
        if (!needsQuotes) {
            line += argument;
            continue;
        }
        line += L'"';
        std::size_t backslashes = 0;
        for (wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            if (c == L'"') {
                line.append(backslashes * 2 + 1, L'\\');
            } else {
                line.append(backslashes, L'\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, L'\\');
        line += L'"';
    }
    return line;
}

}  // namespace platform
