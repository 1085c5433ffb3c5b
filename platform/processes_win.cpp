// Processes, sessions and named events on Windows: toolhelp, terminal services and kernel events.
#include <windows.h>
// After windows.h: these headers rely on its types.
#include <tlhelp32.h>
#include <wtsapi32.h>

#include "platform/processes.h"

namespace platform {

void SetProcessPriorityClass(std::uint32_t priorityClass) {
    ::SetPriorityClass(GetCurrentProcess(), priorityClass);
}

void SetThreadExecutionState(std::uint32_t flags) {
    ::SetThreadExecutionState(static_cast<EXECUTION_STATE>(flags));
}

std::vector<ProcessEntry> ProcessSnapshot() {
    std::vector<ProcessEntry> entries;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return entries;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        entries.push_back({entry.th32ProcessID, entry.szExeFile});
    }
    CloseHandle(snapshot);
    return entries;
}

bool TerminateProcessById(std::uint32_t id, std::uint32_t exitCode) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (!process) return false;
    bool terminated = ::TerminateProcess(process, exitCode) != FALSE;
    CloseHandle(process);
    return terminated;
}

std::optional<std::vector<std::uint32_t>> EnumerateSessions() {
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> ids;
    for (DWORD i = 0; i < count; ++i) ids.push_back(sessions[i].SessionId);
    WTSFreeMemory(sessions);
    return ids;
}

bool SignalNamedEvent(const std::wstring& name) {
    HANDLE event = OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str());
    if (!event) return false;
    bool set = SetEvent(event) != FALSE;
    CloseHandle(event);
    return set;
}

}  // namespace platform
