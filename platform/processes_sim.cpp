// Processes, sessions and named events of the host edition: the simulated host's lists.
#include "platform/processes.h"
#include "simhost/host_state.h"

namespace platform {

void SetProcessPriorityClass(std::uint32_t priorityClass) {
    sim::host::SetPriorityClass(priorityClass);
}

void SetThreadExecutionState(std::uint32_t flags) { sim::host::SetExecutionState(flags); }

std::vector<ProcessEntry> ProcessSnapshot() {
    std::vector<ProcessEntry> entries;
    for (const auto& process : sim::host::Processes()) {
        entries.push_back({process.pid, process.name});
    }
    return entries;
}

bool TerminateProcessById(std::uint32_t id, std::uint32_t) {
    return sim::host::TerminateProcess(id);
}

std::optional<std::vector<std::uint32_t>> EnumerateSessions() { return sim::host::Sessions(); }

bool SignalNamedEvent(const std::wstring& name) { return sim::host::SetNamedEvent(name); }

}  // namespace platform
