// Boot-session seam: tells whether the machine has restarted since a value was recorded.
#pragma once

#include <string>

#include "base/result.h"

namespace platform {

// The same text in every process until the machine restarts, and another one after it (never
// empty); fails when it cannot be had. Windows: the boot time the kernel keeps (Wine: the start of
// its server, so ending the Wine session counts as a restart). The host edition: the simulated
// machine's boot count, which only its simulated restart changes.
[[nodiscard]] ovn::Result<std::wstring> BootSessionId();

}  // namespace platform
