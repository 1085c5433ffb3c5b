// The simulated machine's boot session: counted up by each simulated restart.
#include "platform/boot_session.h"
#include "simhost/host_state.h"

namespace platform {

ovn::Result<std::wstring> BootSessionId() { return std::to_wstring(sim::host::BootSession()); }

}  // namespace platform
