// Which devices a hardware ID given on the command line names.
#pragma once

#include <string_view>

#include "components/dec740/device_manager.h"

namespace dec740 {

// Letter case is ignored (ASCII); a trailing '*' matches any rest, including none. A '*' anywhere
// else is an ordinary character.
bool IdMatches(std::string_view pattern, std::string_view id);

// True when the pattern matches any of the device's hardware IDs or compatible IDs.
bool DeviceMatches(std::string_view pattern, const Device& device);

}  // namespace dec740
