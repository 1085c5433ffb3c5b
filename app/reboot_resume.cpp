// The resume command line and the registry values of the restart cycle.
#include "app/reboot_resume.h"

#include "platform/command_line.h"
#include "platform/registry.h"

namespace {

constexpr const wchar_t* kProgramName = L"OvnK740FpgaUpdater";

bool IsFlashOption(const std::wstring& word) { return word == L"-f" || word == L"--flash"; }

bool IsAbsolutePath(const std::wstring& path) {
    if (path.empty()) return false;
    if (path[0] == L'\\' || path[0] == L'/') return true;
    return path.size() > 1 && path[1] == L':';
}

// Where the file name after the flash option begins, and the whole token; npos when there is none.
std::size_t FileNameStart(const std::wstring& line, std::wstring& token) {
    std::size_t at = line.find(L" -f ");
    std::size_t start = at == std::wstring::npos ? std::wstring::npos : at + 4;
    if (start == std::wstring::npos) {
        // Any spelling of the option the parser accepts: walk the words.
        std::size_t word = 0;
        while (word < line.size()) {
            while (word < line.size() && line[word] == L' ') ++word;
            std::size_t end = line.find(L' ', word);
            if (end == std::wstring::npos) end = line.size();
            if (IsFlashOption(line.substr(word, end - word)) && end < line.size()) {
                start = end + 1;
                while (start < line.size() && line[start] == L' ') ++start;
                break;
            }
            word = end;
        }
    }
    if (start == std::wstring::npos || start >= line.size()) return std::wstring::npos;
    std::size_t end;
    if (line[start] == L'"') {
        end = line.find(L'"', start + 1);
        end = end == std::wstring::npos ? line.size() : end + 1;
    } else {
        end = line.find(L' ', start);
        if (end == std::wstring::npos) end = line.size();
    }
    token = line.substr(start, end - start);
    return start;
}

// The directory in front of a (possibly quoted) token, quoted as one path when it holds a blank.
std::wstring WithDirectory(const std::wstring& directory, const std::wstring& token) {
    if (!token.empty() && token[0] == L'"') return L"\"" + directory + token.substr(1);
    return platform::QuoteIfBlank(directory + token);
}

}  // namespace

std::wstring ResumeCommandLine(const std::wstring& commandLine,
                               const std::wstring& programDirectory) {
    if (commandLine.rfind(kProgramName, 0) != 0) return commandLine;
    std::wstring line = commandLine;
    if (line.find(programDirectory) == std::wstring::npos) {
        std::wstring token;
        const std::size_t start = FileNameStart(line, token);
        std::wstring bare = token;
        if (!bare.empty() && bare[0] == L'"') bare = bare.substr(1);
        if (start != std::wstring::npos && !IsAbsolutePath(bare))
            line.replace(start, token.size(), WithDirectory(programDirectory, token));
    }
    std::size_t programEnd = line.find(L' ');
    if (programEnd == std::wstring::npos) programEnd = line.size();
    return WithDirectory(programDirectory, line.substr(0, programEnd)) + line.substr(programEnd);
}

void RegisterRunOnce(const wchar_t* valueName, const std::wstring& commandLine) {
    platform::RegistrySetString(kRunOnceKey, valueName, commandLine);
    platform::RegistryFlushKey(kRunOnceKey);
}

void DeleteRunOnce(const wchar_t* valueName) {
    if (platform::RegistryDeleteValue(kRunOnceKey, valueName))
        platform::RegistryFlushKey(kRunOnceKey);
}

std::optional<std::wstring> RegisteredRunOnce(const wchar_t* valueName) {
    return platform::RegistryGetString(kRunOnceKey, valueName);
}

void TidyRegistry() {
    platform::RegistryDeleteValue(kRunKey, kRunValueName);
    platform::RegistryDeleteValue(kUtilityKey, kConfigValueName);
    platform::RegistryFlushKey(kUtilityKey);
}
