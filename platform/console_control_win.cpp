// Console control on Windows: one SetConsoleCtrlHandler routine that runs the registered handlers.
#include <windows.h>

#include <mutex>
#include <vector>

#include "platform/console_control.h"

namespace platform {

namespace {

using Handler = bool (*)(std::uint32_t);

// Process-wide: console events are the process's, and the handlers run from the platform's own
// thread, which is handed nothing.
std::mutex handlersLock;
// Process-wide, under handlersLock, for the same reason.
std::vector<Handler> handlers;
// Process-wide, under handlersLock: the one control routine of the process has been added.
bool routineAdded = false;

BOOL WINAPI ControlRoutine(DWORD controlType) {
    std::vector<Handler> current;
    {
        std::lock_guard<std::mutex> guard(handlersLock);
        current = handlers;
    }
    for (auto it = current.rbegin(); it != current.rend(); ++it) {
        if ((*it)(controlType)) return TRUE;
    }
    return FALSE;
}

}  // namespace

ovn::Status RegisterConsoleControlHandler(bool (*handler)(std::uint32_t controlType)) {
    std::lock_guard<std::mutex> guard(handlersLock);
    handlers.push_back(handler);
    if (routineAdded) return ovn::Ok();
    if (!SetConsoleCtrlHandler(ControlRoutine, TRUE))
        return ovn::CallError("SetConsoleCtrlHandler", GetLastError());
    routineAdded = true;
    return ovn::Ok();
}

}  // namespace platform
