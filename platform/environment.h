// Environment seam: environment variables, directories, module path.
#pragma once

#include <optional>
#include <string>

#include "platform/file_result.h"

namespace platform {

// The value of an environment variable, or nothing when it is not set. Values are read into a
// buffer of maxChars characters; longer values count as not set.
std::optional<std::wstring> GetEnvironmentWide(const wchar_t* name, std::size_t maxChars = 2048);

// Creates one directory. An existing directory is no error; done when it exists now.
[[nodiscard]] FileStatus CreateDirectoryWide(const std::wstring& path);

// Full path of the running program (wide), read into a buffer of maxChars characters; a path
// that does not fit is an error, never a shortened path.
[[nodiscard]] ovn::Result<std::wstring> ModuleFileName(std::size_t maxChars = 2048);

// The path separator of this platform's file names: '\\' on Windows, '/' on the host edition.
wchar_t PathSeparator();

// Narrow file name of a wide path, for the C runtime on this platform.
std::string NarrowPath(const std::wstring& path);

}  // namespace platform
