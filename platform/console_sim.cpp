// Console of the host edition: a terminal or redirected streams; colour and cursor only on
// terminals.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/console_stream.h"
#include "platform/text_encoding.h"

namespace platform {

namespace {

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

// Any non-null value: the host edition has no window to bring forward.
int consoleWindowStandIn = 0;

}  // namespace

// Wide and narrow text share one byte stream of UTF-8: glibc refuses narrow output on a
// wide-oriented stream.
void ConsoleWriteNarrow(const char* text, std::size_t length) {
    ConsoleWriteStreamBytes(text, length);
}

void ConsoleWriteWide(const std::wstring& text) { ConsoleWriteNarrow(WideToUtf8(text)); }

void ConsoleShowCursor(bool visible) {
    if (StdoutIsTerminal()) ConsoleWriteNarrow(visible ? "\033[?25h" : "\033[?25l");
}

void ConsoleSetTextAttribute(std::uint16_t attribute) {
    if (!StdoutIsTerminal()) return;
    ConsoleWriteNarrow(attribute == 12 ? "\033[1;31m" : "\033[0m");
}

void* ConsoleWindow() { return &consoleWindowStandIn; }

void BringWindowToFront(void*) {}

bool StdinIsConsole() { return isatty(STDIN_FILENO) != 0; }

int ReadKeyNoEcho() {
    unsigned char key = 0;
    if (!StdinIsConsole()) {
        return read(STDIN_FILENO, &key, 1) == 1 ? key : -1;
    }
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    ssize_t got = read(STDIN_FILENO, &key, 1);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return got == 1 ? key : -1;
}

}  // namespace platform
