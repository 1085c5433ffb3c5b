// Console-control seam: Ctrl+C, Ctrl+Break, closing the console, logoff and shutdown.
#pragma once

#include <cstdint>

#include "base/result.h"

namespace platform {

// Control types as Windows numbers them.
constexpr std::uint32_t kCtrlCEvent = 0;
constexpr std::uint32_t kCtrlBreakEvent = 1;
constexpr std::uint32_t kCtrlCloseEvent = 2;
constexpr std::uint32_t kCtrlLogoffEvent = 5;
constexpr std::uint32_t kCtrlShutdownEvent = 6;

// Adds a handler that runs on a thread of its own for every console control event; the last one
// added runs first, and returning false passes the event on (in the end to the default, which ends
// the process). On the host edition, call it before any other thread starts: the signals are then
// taken from every thread and delivered to the handler's thread only. Fails when the system takes
// no handler; the handler is then kept, and the next registration tries again.
[[nodiscard]] ovn::Status RegisterConsoleControlHandler(bool (*handler)(std::uint32_t controlType));

}  // namespace platform
