// Narrow console output shared by both editions: unbuffered in effect, so it interleaves in order
// with the wide output and with the progress refreshes.
#include <cstdio>

#include "platform/console.h"

namespace platform {

void ConsoleWriteNarrow(const char* text, std::size_t length) {
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
}

void ConsoleWriteNarrow(const std::string& text) { ConsoleWriteNarrow(text.data(), text.size()); }

void ConsoleFlush() { std::fflush(stdout); }

}  // namespace platform
