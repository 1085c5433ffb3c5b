// Writing, pruning and carrying the result files.
#include "app/run_result_store.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "app/run_result_check.h"
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

std::optional<std::wstring> RunCopyName(const tagRunResult& result) {
    const auto start = ParseUtcTimestamp(result.startTime);
    if (!start || !IsRunIdText(result.runId)) return std::nullopt;
    const unsigned long idPrefix = std::stoul(result.runId.substr(0, 8), nullptr, 16);
    wchar_t name[64];
    std::swprintf(name, 64, L"run-%04d%02d%02dT%02d%02d%02dZ-%08lx.json", start->year, start->month,
                  start->day, start->hour, start->minute, start->second, idPrefix);
    return name;
}

bool StoreRunResult(const std::wstring& folder, const tagRunResult& result,
                    platform::FileError* error) {
    const std::string text = RunResultToJson(result).dump(2) + "\n";
    if (!platform::ReplaceFileAtomically(InFolder(folder, kLastRunFileName), text, error))
        return false;
    return StoreRunCopy(folder, result, error);
}

bool StoreRunCopy(const std::wstring& folder, const tagRunResult& result,
                  platform::FileError* error) {
    const auto copyName = RunCopyName(result);
    if (!copyName) {
        // Only checked values reach the result, so this is a fault of ours: no name is guessed.
        if (error) *error = platform::FileFailure("RunCopyName", 0);
        return false;
    }
    const std::string text = RunResultToJson(result).dump(2) + "\n";
    if (!platform::ReplaceFileAtomically(InFolder(folder, *copyName), text, error)) return false;
    PruneCopies(folder);
    return true;
}

bool SaveCarriedRun(const std::wstring& folder, const tagRunResult& result,
                    platform::FileError* error) {
    return platform::ReplaceFileAtomically(InFolder(folder, kCarriedRunFileName),
                                           RunResultToJson(result).dump(2) + "\n", error);
}

std::optional<tagRunResult> TakeCarriedRun(const std::wstring& folder, std::string* problem) {
    problem->clear();
    const std::wstring path = InFolder(folder, kCarriedRunFileName);
    auto text = platform::ReadFileSafely(path, kLargestCarriedRun);
    platform::RemoveFileName(path);
    if (!text) return std::nullopt;
    tagRunResult carried;
    try {
        carried = RunResultFromJson(nlohmann::json::parse(*text));
    } catch (const nlohmann::json::exception&) {
        *problem = "it is not a result of this format";
        return std::nullopt;
    }
    *problem = CarriedRunProblem(carried);
    if (!problem->empty()) return std::nullopt;
    return carried;
}
