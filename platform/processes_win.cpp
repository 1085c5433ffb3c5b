// Processes, sessions and named events on Windows: toolhelp, terminal services and kernel events.
#include <windows.h>
// After windows.h: these headers rely on its types.
#include <tlhelp32.h>
#include <wtsapi32.h>

#include "base/win_handles_win.h"
#include "platform/processes.h"
#include "platform/system_library.h"

namespace platform {

namespace {

// Terminal services live outside the known system set: resolved from the system directory at run
// time, so that no wtsapi32.dll beside the elevated exe is ever loaded.
using EnumerateSessionsFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
using FreeMemoryFn = VOID(WINAPI*)(PVOID);

}  // namespace

ovn::Status SetProcessPriorityClass(std::uint32_t priorityClass) {
    if (!::SetPriorityClass(GetCurrentProcess(), priorityClass))
        return ovn::CallError("SetPriorityClass", GetLastError());
    return ovn::Ok();
}

ovn::Status SetThreadExecutionState(std::uint32_t flags) {
    // It answers with the previous state, or zero when it fails. A previous state of zero looks
    // the same; the run only helps itself with this call and passes over both alike.
    if (::SetThreadExecutionState(static_cast<EXECUTION_STATE>(flags)) == 0)
        return ovn::CallError("SetThreadExecutionState", GetLastError());
    return ovn::Ok();
}

ovn::Result<std::vector<ProcessEntry>> ProcessSnapshot() {
    std::vector<ProcessEntry> entries;
    const ovn::ScopedKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ovn::CallError("CreateToolhelp32Snapshot", GetLastError());
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        entries.push_back({entry.th32ProcessID, entry.szExeFile});
    }
    return entries;
}

ovn::Status TerminateProcessById(std::uint32_t id, std::uint32_t exitCode) {
    const ovn::ScopedKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (!process) return ovn::CallError("OpenProcess", GetLastError());
    if (!::TerminateProcess(process.get(), exitCode))
        return ovn::CallError("TerminateProcess", GetLastError());
    return ovn::Ok();
}

ovn::Result<std::vector<std::uint32_t>> EnumerateSessions() {
    static const auto enumerate =
        SystemLibraryFunction<EnumerateSessionsFn>(L"wtsapi32.dll", "WTSEnumerateSessionsW");
    static const auto freeMemory =
        SystemLibraryFunction<FreeMemoryFn>(L"wtsapi32.dll", "WTSFreeMemory");
    if (!enumerate) return enumerate.error();
    if (!freeMemory) return freeMemory.error();
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    if (!(*enumerate)(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count))
        return ovn::CallError("WTSEnumerateSessionsW", GetLastError());
    std::vector<std::uint32_t> ids;
    for (DWORD i = 0; i < count; ++i) ids.push_back(sessions[i].SessionId);
    (*freeMemory)(sessions);
    return ids;
}

ovn::Status SignalNamedEvent(const std::wstring& name) {
    const ovn::ScopedKernelHandle event(OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str()));
    if (!event) return ovn::CallError("OpenEventW", GetLastError());
    if (!SetEvent(event.get())) return ovn::CallError("SetEvent", GetLastError());
    return ovn::Ok();
}

}  // namespace platform
