// System error seam: the system's own text for an error code, for messages naming a failed call.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The system's message for `code`, without trailing blanks or line breaks; empty when it has none.
std::wstring SystemErrorText(std::uint32_t code);

}  // namespace platform
