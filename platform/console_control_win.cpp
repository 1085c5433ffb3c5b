// Console control on Windows: one SetConsoleCtrlHandler routine that runs the registered handlers.
#include <windows.h>

#include <mutex>
#include <vector>

#include "platform/console_control.h"

namespace platform {

namespace {

using Handler = bool (*)(std::uint32_t);

std::mutex handlersLock;
std::vector<Handler> handlers;
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
