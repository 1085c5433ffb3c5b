// The desktop suite's core program as a double for Windows: it creates its session's close event
// and runs until the event is set or the process is terminated.
#include <windows.h>

#include <cwchar>

int wmain() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    wchar_t name[64];
    std::swprintf(name, 64, L"%ls_%d", L"Global\\OvnPluxCoreCloseEvent", static_cast<int>(session));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name);
    if (!event) return 1;
    WaitForSingleObject(event, INFINITE);
    CloseHandle(event);
    return 0;
}
