// Writing, pruning and carrying the result files.
#include "app/results/run_result_store.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "app/results/run_result_check.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "text/text_encoding.h"

namespace {

constexpr std::size_t kLargestCarriedRun = 1 << 20;
constexpr std::size_t kLargestLastRun = 1 << 20;

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
    return folder + platform::PathSeparator() + name;
}

}  // namespace

void PruneDatedCopies(const std::wstring& folder, const std::wstring& extension, std::size_t keep) {
    const auto dated = [&extension](const std::wstring& name) {
        return name.rfind(L"run-", 0) == 0 && name.size() > 4 + extension.size() &&
               name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
    };
    std::vector<std::wstring> copies;
    for (const std::wstring& name : platform::PlainFileNames(folder))
        if (dated(name)) copies.push_back(name);
    if (copies.size() <= keep) return;
    std::sort(copies.begin(), copies.end());
    // A copy that will not go is pruned at the next run.
    for (std::size_t i = 0; i + keep < copies.size(); ++i)
        (void)platform::RemoveFileName(InFolder(folder, copies[i]));
}

std::optional<std::wstring> RunCopyName(const tagRunResult& result) {
    const auto start = ParseUtcTimestamp(result.startTime);
    if (!start || !IsRunIdText(result.runId)) return std::nullopt;
    const unsigned long idPrefix = std::stoul(result.runId.substr(0, 8), nullptr, 16);
    wchar_t name[64];
    std::swprintf(name, 64, L"run-%04d%02d%02dT%02d%02d%02dZ-%08lx.json", start->year, start->month,
                  start->day, start->hour, start->minute, start->second, idPrefix);
    return name;
}

std::string RunResultText(const tagRunResult& result) {
    return RunResultToJson(result).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
           "\n";
}

namespace {
// The dated copy of a result whose text is already made, then the pruning.
platform::FileStatus StoreCopyText(const std::wstring& folder, const tagRunResult& result,
                                   const std::string& text) {
    const auto copyName = RunCopyName(result);
    // Only checked values reach the result, so this is a fault of ours: no name is guessed.
    if (!copyName) return platform::FileFailure("RunCopyName", 0);
    if (platform::FileStatus written =
            platform::ReplaceFileAtomically(InFolder(folder, *copyName), text);
        !written) {
        return written;
    }
    PruneDatedCopies(folder, L".json", kKeptRunCopies);
    return {};
}
}  // namespace

platform::FileStatus StoreRunResult(const std::wstring& folder, const tagRunResult& result) {
    const std::string text = RunResultText(result);
    if (platform::FileStatus written =
            platform::ReplaceFileAtomically(InFolder(folder, kLastRunFileName), text);
        !written) {
        return written;
    }
    return StoreCopyText(folder, result, text);
}

platform::FileStatus StoreRunCopy(const std::wstring& folder, const tagRunResult& result) {
    return StoreCopyText(folder, result, RunResultText(result));
}

platform::FileStatus SaveCarriedRun(const std::wstring& folder, const tagRunResult& result) {
    return platform::ReplaceFileAtomically(InFolder(folder, kCarriedRunFileName),
                                           RunResultText(result));
}

void SetAsideLastRun(const std::wstring& folder, std::string* problem) {
    problem->clear();
    const std::wstring path = InFolder(folder, kLastRunFileName);
    const auto text = platform::ReadFileSafely(path, kLargestLastRun);
    std::optional<std::wstring> copyName;
    if (text) {
        try {
            copyName = RunCopyName(RunResultFromJson(nlohmann::json::parse(*text)));
        } catch (const nlohmann::json::exception&) {
        }
    }
    if (text && copyName) {
        // The copy is whole on disk before the name goes: a power cut between the two leaves both.
        const platform::FileStatus written =
            platform::ReplaceFileAtomically(InFolder(folder, *copyName), *text);
        if (!written) {
            *problem = "its dated copy could not be written (" + written.error().call + ", error " +
                       std::to_string(written.error().code) + ")";
        }
    } else if (text) {
        *problem = "it is not a result of this format: removed";
    }
    // A name that could not be read (a link, a second name) goes too: it is no result of ours.
    if (!platform::RemoveFileName(path)) {
        *problem += std::string(problem->empty() ? "" : "; ") + "it could not be removed";
    }
}

std::optional<tagRunResult> TakeCarriedRun(const std::wstring& folder, std::string* problem) {
    problem->clear();
    const std::wstring path = InFolder(folder, kCarriedRunFileName);
    auto text = platform::ReadFileSafely(path, kLargestCarriedRun);
    // Taken once: a name that will not go is read again by nobody but the next resume.
    (void)platform::RemoveFileName(path);
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
