// The byte stream under both editions' console output: standard output through the C runtime.
#pragma once

#include <cstddef>

namespace platform {

// Writes the bytes to standard output and flushes them, so that they keep their order with every
// other kind of console output (on Windows the C runtime's text mode turns "\n" into CR LF).
void ConsoleWriteStreamBytes(const char* bytes, std::size_t length);

}  // namespace platform
