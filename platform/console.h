// Console seam: wide and narrow output, cursor visibility, text colour, window handle, unechoed
// keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Writes text to standard output; narrow text is UTF-8. Both kinds may be mixed on one stream: a
// console window gets them as wide text, a redirected stream (and the host edition) as UTF-8.
void ConsoleWriteWide(const std::wstring& text);
void ConsoleWriteNarrow(const char* text, std::size_t length);
void ConsoleWriteNarrow(const std::string& text);
void ConsoleFlush();

// Cursor visibility and text attribute (12 bright red, 7 light grey). Harmless when stdout is no
// console.
void ConsoleShowCursor(bool visible);
void ConsoleSetTextAttribute(std::uint16_t attribute);

// The console's window, or null when the process has none.
void* ConsoleWindow();
// Brings a window to the foreground and to the top.
void BringWindowToFront(void* window);

// True when standard input is an interactive console (keys), false when it is a file or pipe.
bool StdinIsConsole();

// Reads one key press without echo. On a console it waits for a key; when standard input is not a
// console it takes the next byte of standard input. Returns -1 at the end of input.
int ReadKeyNoEcho();

}  // namespace platform
