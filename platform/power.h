// Power seam: the AC minimum processor state of the active power scheme.
#pragma once

#include <cstdint>

#include "base/result.h"

namespace platform {

// The active power scheme, owned by the platform and valid for the rest of the process. Fails when
// the system does not say or lacks the power calls; every call below fails with a null scheme.
[[nodiscard]] ovn::Result<void*> PowerGetActiveScheme();

// The scheme's AC value of the minimum processor state, in percent.
[[nodiscard]] ovn::Result<std::uint32_t> PowerReadAcMinProcessorState(void* scheme);
[[nodiscard]] ovn::Status PowerWriteAcMinProcessorState(void* scheme, std::uint32_t percent);

// Makes the scheme active again, so that values written to it take effect.
[[nodiscard]] ovn::Status PowerApplyScheme(void* scheme);

}  // namespace platform
