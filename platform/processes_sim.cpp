// Processes, sessions and named events of the host edition: the simulated host's lists.
#include <utility>

#include "platform/processes.h"
#include "simhost/host_state.h"

namespace platform {

// The simulated host refuses nothing but what Windows would not find: a process that is gone
// (ERROR_INVALID_PARAMETER from OpenProcess), an event nobody made (ERROR_FILE_NOT_FOUND), and the
// session enumeration its state says fails (ERROR_ACCESS_DENIED).
ovn::Status SetProcessPriorityClass(std::uint32_t priorityClass) {
    sim::host::SetPriorityClass(priorityClass);
    return ovn::Ok();
}

ovn::Status SetThreadExecutionState(std::uint32_t flags) {
    sim::host::SetExecutionState(flags);
    return ovn::Ok();
}

ovn::Result<std::vector<ProcessEntry>> ProcessSnapshot() {
    std::vector<ProcessEntry> entries;
    for (const auto& process : sim::host::Processes()) {
        entries.push_back({process.pid, process.name});
    }
    return entries;
}

ovn::Status TerminateProcessById(std::uint32_t id, std::uint32_t) {
    if (!sim::host::TerminateProcess(id)) return ovn::CallError("OpenProcess", 87);
    return ovn::Ok();
}

ovn::Result<std::vector<std::uint32_t>> EnumerateSessions() {
    auto sessions = sim::host::Sessions();
    if (!sessions) return ovn::CallError("WTSEnumerateSessionsW", 5);
    return std::move(*sessions);
}

ovn::Status SignalNamedEvent(const std::wstring& name) {
    if (!sim::host::SetNamedEvent(name)) return ovn::CallError("OpenEventW", 2);
    return ovn::Ok();
}

}  // namespace platform
