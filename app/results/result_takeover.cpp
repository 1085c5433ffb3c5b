// The published result of the run and its takeover by the interruption or the failure handler.
#include "app/results/result_takeover.h"

#include <memory>
#include <mutex>
#include <optional>

#include "app/console/console_log.h"
#include "app/results/run_result.h"
#include "app/results/run_result_store.h"

namespace {

// The console-control handler runs on a thread of its own and is handed nothing: this is how it
// reaches the run's result. Process-wide for that reason alone.
struct tagTakeover {
    std::mutex lock;
    std::optional<tagRunResult> soFar;
    std::wstring folder;
    bool takenOver = false;
};

tagTakeover& Takeover() {
    // Process-wide: the console-control handler takes the result over from a thread it is handed
    // nothing. Never destroyed: the console-control thread may still use it while the process ends.
    static tagTakeover* takeover = new tagTakeover;
    return *takeover;
}

}  // namespace

void PublishRunSoFar(const tagRunResult& soFar, const std::wstring& folder) {
    tagTakeover& t = Takeover();
    std::lock_guard<std::mutex> hold(t.lock);
    t.soFar = soFar;
    t.folder = folder;
}

bool WriteUnlessTakenOver(const std::function<void()>& write) {
    tagTakeover& t = Takeover();
    std::lock_guard<std::mutex> hold(t.lock);
    if (t.takenOver) return false;
    write();
    return true;
}

bool TakeOverResult() {
    tagTakeover& t = Takeover();
    std::lock_guard<std::mutex> hold(t.lock);
    if (t.takenOver || !t.soFar) return false;
    t.takenOver = true;
    return true;
}

void WriteTakenOverResult(std::int32_t exitCode, RunEnd end) {
    tagTakeover& t = Takeover();
    std::lock_guard<std::mutex> hold(t.lock);
    if (!t.takenOver || !t.soFar || t.folder.empty()) return;
    try {
        tagRunResult result = *t.soFar;
        result.endTime = UtcTimestampNow();
        result.exitCode = exitCode;
        result.end = end;
        result.segments.push_back({result.startTime, result.endTime, exitCode, false});
        result.exitMeaning = ExitCodeMeaning(result);
        if (const platform::FileStatus stored = StoreRunResult(t.folder, result); !stored) {
            LogOnlyLine(L"   The result file could not be written in %ls (%hs, error %u).\n",
                        t.folder.c_str(), stored.error().call.c_str(),
                        static_cast<unsigned>(stored.error().code));
        }
    } catch (...) {
        // Out of memory even for the result: the exit code alone tells.
    }
}
