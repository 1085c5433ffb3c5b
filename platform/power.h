// Power seam: the AC minimum processor state of the active power scheme.
#pragma once

#include <cstdint>

namespace platform {

// The active power scheme, owned by the platform and valid for the rest of the process; null when
// the system does not say. Every call below does nothing with a null scheme or when the platform
// lacks the power calls.
void* PowerGetActiveScheme();

// The scheme's AC value of the minimum processor state, in percent; false (value untouched) when it
// cannot be read.
[[nodiscard]] bool PowerReadAcMinProcessorState(void* scheme, std::uint32_t* value);
void PowerWriteAcMinProcessorState(void* scheme, std::uint32_t percent);

// Makes the scheme active again, so that values written to it take effect.
void PowerApplyScheme(void* scheme);

}  // namespace platform
