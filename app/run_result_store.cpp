// Writing, pruning and carrying the result files.
#include "app/run_result_store.h"

#include <algorithm>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/text_encoding.h"

namespace {

constexpr std::size_t kLargestCarriedRun = 1 << 20;

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
    return folder + platform::PathSeparator() + name;
}

bool IsRunCopy(const std::wstring& name) {
    return name.rfind(L"run-", 0) == 0 && name.size() > 9 &&
           name.compare(name.size() - 5, 5, L".json") == 0;
}

void PruneCopies(const std::wstring& folder) {
    std::vector<std::wstring> copies;
    for (const std::wstring& name : platform::PlainFileNames(folder))
        if (IsRunCopy(name)) copies.push_back(name);
    if (copies.size() <= kKeptRunCopies) return;
    std::sort(copies.begin(), copies.end());
    for (std::size_t i = 0; i + kKeptRunCopies < copies.size(); ++i)
        platform::RemoveFileName(InFolder(folder, copies[i]));
}

}  // namespace

std::wstring RunCopyName(const tagRunResult& result) {
    std::wstring stamp;
    for (char c : result.startTime)
        if (c != '-' && c != ':') stamp += static_cast<wchar_t>(c);
    return L"run-" + stamp + L"-" + Utf8ToWide(result.runId.substr(0, 8)) + L".json";
}

bool StoreRunResult(const std::wstring& folder, const tagRunResult& result,
                    platform::FileError* error) {
    const std::string text = RunResultToJson(result).dump(2) + "\n";
    if (!platform::ReplaceFileAtomically(InFolder(folder, kLastRunFileName), text, error))
        return false;
    if (!platform::ReplaceFileAtomically(InFolder(folder, RunCopyName(result)), text, error))
        return false;
    PruneCopies(folder);
    return true;
}

bool StoreRunCopy(const std::wstring& folder, const tagRunResult& result,
                  platform::FileError* error) {
    const std::string text = RunResultToJson(result).dump(2) + "\n";
    if (!platform::ReplaceFileAtomically(InFolder(folder, RunCopyName(result)), text, error))
        return false;
    PruneCopies(folder);
    return true;
}

bool SaveCarriedRun(const std::wstring& folder, const tagRunResult& result,
                    platform::FileError* error) {
    return platform::ReplaceFileAtomically(InFolder(folder, kCarriedRunFileName),
                                           RunResultToJson(result).dump(2) + "\n", error);
}

std::optional<tagRunResult> TakeCarriedRun(const std::wstring& folder) {
    const std::wstring path = InFolder(folder, kCarriedRunFileName);
    auto text = platform::ReadFileSafely(path, kLargestCarriedRun);
    platform::RemoveFileName(path);
    if (!text) return std::nullopt;
    try {
        return RunResultFromJson(nlohmann::json::parse(*text));
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

void DropCarriedRun(const std::wstring& folder) {
    platform::RemoveFileName(InFolder(folder, kCarriedRunFileName));
}
