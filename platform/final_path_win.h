// Where an open handle really leads: the path the system resolved, for the checks against links.
#pragma once

#include <string>

#include "base/result.h"

namespace platform {

// The handle's path as the system resolved it, in the plain drive-letter or UNC form; the failed
// call when the system cannot say. The handle is a Windows HANDLE (kept void* so this header
// needs no Windows headers).
[[nodiscard]] ovn::Result<std::wstring> FinalPath(void* handle);

// Whether two paths name the same place, compared as the file system does (case-insensitively).
bool SamePath(const std::wstring& a, const std::wstring& b);

}  // namespace platform
