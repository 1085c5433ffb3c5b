// Console output shared by both editions: the byte stream, flushed after every piece so that it
// interleaves in order with the wide output and with the progress refreshes.
#include "platform/console.h"

#include <cstdio>

namespace platform {

void ConsoleWriteStreamBytes(const char* bytes, std::size_t length) {
    // A console that takes no output leaves nothing to tell: the write's count is not wanted.
    (void)std::fwrite(bytes, 1, length, stdout);
    std::fflush(stdout);
}

void ConsoleWriteNarrow(const std::string& text) { ConsoleWriteNarrow(text.data(), text.size()); }

void ConsoleFlush() { std::fflush(stdout); }

}  // namespace platform
