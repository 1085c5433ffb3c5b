// Console of the host edition: a terminal or redirected streams; colour and cursor only on
// terminals.
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "platform/console.h"
#include "platform/terminal_mode_posix.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

// Process-wide: stands for the process's console window (any non-null value: the host edition has
// no window to bring forward).
int consoleWindowStandIn = 0;

// The terminal's settings while a key read has switched echo and line editing off. Ctrl+C at a
// prompt ends the process from the console-control thread, which must put them back first.
struct tagTerminalKeyMode {
    std::mutex lock;
    std::optional<termios> saved;
    bool ended = false;  // the process is ending: the terminal is no longer switched
};
tagTerminalKeyMode& TerminalKeyMode() {
    // Process-wide: the console-control thread puts the terminal back from a thread handed nothing.
    static tagTerminalKeyMode mode;
    return mode;
}

}  // namespace

// Wide and narrow text share one byte stream of UTF-8: glibc refuses narrow output on a
// wide-oriented stream.
void ConsoleWriteNarrow(const char* text, std::size_t length) {
    ConsoleWriteStreamBytes(text, length);
}

void ConsoleWriteWide(const std::wstring& text) { ConsoleWriteNarrow(WideToUtf8(text)); }

ovn::Status ConsoleShowCursor(bool visible) {
    if (StdoutIsTerminal()) ConsoleWriteNarrow(visible ? "\033[?25h" : "\033[?25l");
    return ovn::Ok();
}

ovn::Status ConsoleSetTextAttribute(std::uint16_t attribute) {
    if (!StdoutIsTerminal()) return ovn::Ok();
    ConsoleWriteNarrow(attribute == 12 ? "\033[1;31m" : "\033[0m");
    return ovn::Ok();
}

void* ConsoleWindow() { return &consoleWindowStandIn; }

ovn::Status BringWindowToFront(void*) { return ovn::Ok(); }

ovn::Result<bool> StdinIsConsole() {
    if (isatty(STDIN_FILENO) != 0) return true;
    // A file or pipe is no terminal: that is the answer, not a failure.
    const int error = errno;
    if (error == ENOTTY || error == EINVAL) return false;
    return ovn::CallError("isatty", static_cast<std::uint32_t>(error));
}

int ReadKeyNoEcho() {
    unsigned char key = 0;
    // Standard input that cannot be told a terminal is read as a stream: a byte or the end.
    const auto console = StdinIsConsole();
    if (!console || !*console) {
        return read(STDIN_FILENO, &key, 1) == 1 ? key : -1;
    }
    {
        tagTerminalKeyMode& mode = TerminalKeyMode();
        std::lock_guard<std::mutex> hold(mode.lock);
        if (!mode.ended) {
            termios saved{};
            tcgetattr(STDIN_FILENO, &saved);
            termios raw = saved;
            raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            mode.saved = saved;
            tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        }
    }
    ssize_t got = read(STDIN_FILENO, &key, 1);
    RestoreTerminalKeyMode();
    return got == 1 ? key : -1;
}

namespace {

void PutTerminalBack(bool forGood) {
    tagTerminalKeyMode& mode = TerminalKeyMode();
    std::lock_guard<std::mutex> hold(mode.lock);
    if (forGood) mode.ended = true;
    if (!mode.saved) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &*mode.saved);
    mode.saved.reset();
}

}  // namespace

void RestoreTerminalKeyMode() { PutTerminalBack(false); }

void EndTerminalKeyMode() { PutTerminalBack(true); }

}  // namespace platform
