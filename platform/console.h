// Console seam: wide and narrow output, cursor visibility, text colour, window handle, unechoed
// keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/result.h"

namespace platform {

// Writes text to standard output; narrow text is UTF-8. Both kinds may be mixed on one stream: a
// console window gets them as wide text, a redirected stream (and the host edition) as UTF-8.
// Output that cannot be written has no other place to be reported: these report nothing.
void ConsoleWriteWide(const std::wstring& text);
void ConsoleWriteNarrow(const char* text, std::size_t length);
void ConsoleWriteNarrow(const std::string& text);
void ConsoleFlush();

// The byte stream under both editions' output: writes the bytes to standard output through the C
// runtime and flushes them, so that they keep their order with every other kind of console output
// (on Windows the C runtime's text mode turns "\n" into CR LF).
void ConsoleWriteStreamBytes(const char* bytes, std::size_t length);

// Cursor visibility and text attribute (12 bright red, 7 light grey). Harmless when stdout is no
// console: the Windows edition then fails with the console call's error, the host edition (which
// has nothing to change on a stream that is no terminal) succeeds.
[[nodiscard]] ovn::Status ConsoleShowCursor(bool visible);
[[nodiscard]] ovn::Status ConsoleSetTextAttribute(std::uint16_t attribute);

// The console's window, or null when the process has none (an answer, not a failure).
void* ConsoleWindow();
// Brings a window to the foreground and to the top; a null window is left alone and succeeds.
[[nodiscard]] ovn::Status BringWindowToFront(void* window);

// True when standard input is an interactive console (keys), false when it is a file or pipe;
// fails when the system cannot tell (no usable standard input).
[[nodiscard]] ovn::Result<bool> StdinIsConsole();

// Reads one key press without echo. On a console it waits for a key; when standard input is not a
// console it takes the next byte of standard input. Returns -1 at the end of input.
int ReadKeyNoEcho();

}  // namespace platform
