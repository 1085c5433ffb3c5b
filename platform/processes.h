// Processes seam: priority, execution state, process snapshots and termination, sessions, named
// events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"

namespace platform {

constexpr std::uint32_t kHighPriorityClass = 0x80;

constexpr std::uint32_t kEsSystemRequired = 0x00000001;
constexpr std::uint32_t kEsAwaymodeRequired = 0x00000040;
constexpr std::uint32_t kEsContinuous = 0x80000000;

[[nodiscard]] ovn::Status SetProcessPriorityClass(std::uint32_t priorityClass);
[[nodiscard]] ovn::Status SetThreadExecutionState(std::uint32_t flags);

struct ProcessEntry {
    std::uint32_t id = 0;
    std::wstring exeName;  // the executable's file name, as the system reports it
};

// All running processes; fails when no snapshot can be taken.
[[nodiscard]] ovn::Result<std::vector<ProcessEntry>> ProcessSnapshot();

// Opens the process for termination and terminates it; fails when it cannot be opened or ended.
[[nodiscard]] ovn::Status TerminateProcessById(std::uint32_t id, std::uint32_t exitCode);

// Session IDs of the local server in the order the system gives them.
[[nodiscard]] ovn::Result<std::vector<std::uint32_t>> EnumerateSessions();

// Opens an existing named event with full access and sets it; fails when there is no such event.
[[nodiscard]] ovn::Status SignalNamedEvent(const std::wstring& name);

}  // namespace platform
