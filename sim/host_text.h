// Wide text of the simulated host kept as UTF-8 in its state file.
#pragma once

#include <string>

namespace sim::host {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace sim::host
