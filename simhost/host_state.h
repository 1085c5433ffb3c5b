// The simulated host's state, read and seeded by tests and changed by the host edition's platform
// seams.
//
// Kept in <state directory>/host.json (see host_store.h). Every member is optional; an absent
// member reads as the default in brackets:
//   "power": {"available": bool [true],          false: the power calls do nothing, as under Wine
//             "activeScheme": "<guid>" [381b4222-f694-41f0-9685-ff5bb260df2e],
//             "acMinProcessorState": {"<guid>": n} [5],   the stored AC minimum processor state
//             "appliedMinProcessorState": n [absent],     the value in effect at the last apply
//             "applyCount": n [0]}
//   "executionState": n [0], "priorityClass": n [0]       as last set by a process
//   "processes": [{"pid": n, "name": "<exe>", "session": n, "unkillable": bool}] [none]
//   "nextPid": n [1000], "terminateAttempts": n [0]
//   "sessions": [n, ...] [0, 1]      what session enumeration returns, in order
//   "sessionEnumerationFails": bool [false]
//   "events": {"<name>": {"signalled": bool, "setCount": n}} [none]   named events, case-sensitive
//   "restartRefused": bool [false]   restart requests fail
//   "bootSession": n [0]             the boot the machine is in; each restart counts it up
//   "restarts": [{"timeout": n, "force": bool, "reboot": bool, "privilege": bool,
//                 "acMinProcessorState": n}] [none]      restart requests, oldest first
//   "registry": {"32"|"64": {"<key path under HKLM>": {"<value>": {"type": n, "data": "<hex>"}}}}
//               key paths and value names compare without regard to ASCII case (host_registry.h)
//   "devices": {"<instance id>": {...}}   device states (host_devices.h)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simhost/host_registry.h"
#include "simhost/host_store.h"

namespace sim::host {

// Power: the AC minimum processor state of a scheme.
bool PowerAvailable();
void SetPowerAvailable(bool available);
std::string ActiveScheme();
std::uint32_t AcMinProcessorState(const std::string& scheme);
std::uint32_t AcMinProcessorState();  // of the active scheme
void SetAcMinProcessorState(const std::string& scheme, std::uint32_t percent);
void SetAcMinProcessorState(std::uint32_t percent);  // of the active scheme
// Makes the scheme's stored value the one in effect.
void ApplyScheme(const std::string& scheme);
std::optional<std::uint32_t> AppliedMinProcessorState();
std::uint32_t ApplyCount();

// Process-wide flags as the last process set them.
void SetExecutionState(std::uint32_t flags);
std::uint32_t ExecutionState();
void SetPriorityClass(std::uint32_t priorityClass);
std::uint32_t PriorityClass();

// Running processes of the simulated machine.
struct Process {
    std::uint32_t pid = 0;
    std::wstring name;
    std::uint32_t session = 0;
    bool unkillable = false;  // survives termination, like a process that cannot be opened
};
std::uint32_t AddProcess(const std::wstring& name, std::uint32_t session, bool unkillable = false);
std::vector<Process> Processes();
// Counts the attempt; true when the process existed and is gone now.
bool TerminateProcess(std::uint32_t pid);
std::uint32_t TerminateAttempts();

// Sessions and named events.
void SetSessions(const std::vector<std::uint32_t>& sessions);
void SetSessionEnumerationFails(bool fails);
std::optional<std::vector<std::uint32_t>> Sessions();  // nothing when enumeration fails
void CreateNamedEvent(const std::wstring& name);
// Sets an existing event; false when no event has that name.
bool SetNamedEvent(const std::wstring& name);
std::optional<bool> NamedEventSignalled(
    const std::wstring& name);  // nothing when it does not exist
std::uint32_t NamedEventSetCount(const std::wstring& name);
// A restart takes every event's signal with it (the kernel objects are made afresh).
void ResetNamedEvents();

// Restart requests.
struct RestartRequest {
    std::uint32_t timeoutSeconds = 0;
    bool forceAppsClosed = false;
    bool reboot = false;
    bool privilegeEnabled = false;  // the requesting process had enabled its shutdown privilege
    std::uint32_t acMinProcessorState = 0;  // of the active scheme when the request was made
};
void RecordRestart(const RestartRequest& request);
// A machine whose restart requests are refused (as when the shutdown privilege is missing); the
// refused requests are not recorded.
void SetRestartRefused(bool refused);
bool RestartRefused();
std::vector<RestartRequest> Restarts();

// The boot the machine is in: the same for every process until the next restart.
std::uint64_t BootSession();
void CountBoot();

}  // namespace sim::host
