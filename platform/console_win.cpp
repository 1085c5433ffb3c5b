// Console of the Windows edition: wide and UTF-8 text to a console window or a redirected stream,
// cursor, colour, keys.
#include <conio.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/console_stream.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

HANDLE StdoutHandle() { return GetStdHandle(STD_OUTPUT_HANDLE); }
HANDLE StdinHandle() { return GetStdHandle(STD_INPUT_HANDLE); }

bool StdoutIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(StdoutHandle(), &mode) != 0;
}

// A console window takes the text as it is, whatever its code page: names outside the ANSI code
// page (an image file's, say) are shown as written.
void WriteToConsoleWindow(const std::wstring& text) {
    std::fflush(stdout);
    const wchar_t* rest = text.c_str();
    std::size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(left < 8192 ? left : 8192);
        if (!WriteConsoleW(StdoutHandle(), rest, piece, &written, nullptr) || written == 0) return;
        rest += written;
        left -= written;
    }
}

}  // namespace

// Narrow text is UTF-8, as on the host edition and in the log. A redirected stream receives UTF-8
// through the CRT's text mode (CR LF line ends), whichever kind of text was written.
void ConsoleWriteNarrow(const char* text, std::size_t length) {
    if (StdoutIsConsole()) {
        WriteToConsoleWindow(Utf8ToWide(std::string(text, length)));
        return;
    }
    ConsoleWriteStreamBytes(text, length);
}

void ConsoleWriteWide(const std::wstring& text) {
    if (StdoutIsConsole()) {
        WriteToConsoleWindow(text);
        return;
    }
    const std::string utf8 = WideToUtf8(text);
    ConsoleWriteStreamBytes(utf8.data(), utf8.size());
}

void ConsoleShowCursor(bool visible) {
    CONSOLE_CURSOR_INFO info{};
    if (!GetConsoleCursorInfo(StdoutHandle(), &info)) return;
    info.bVisible = visible ? TRUE : FALSE;
    SetConsoleCursorInfo(StdoutHandle(), &info);
}

void ConsoleSetTextAttribute(std::uint16_t attribute) {
    // Text still in the CRT buffer must keep the colour it was written with.
    std::fflush(stdout);
    SetConsoleTextAttribute(StdoutHandle(), attribute);
}

void* ConsoleWindow() { return GetConsoleWindow(); }

void BringWindowToFront(void* window) {
    if (!window) return;
    HWND hwnd = static_cast<HWND>(window);
    SetForegroundWindow(hwnd);
    BringWindowToTop(hwnd);
}

bool StdinIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(StdinHandle(), &mode) != 0;
}

int ReadKeyNoEcho() {
    if (StdinIsConsole()) {
        // _getch gives -1 only when the console cannot be read; report that as the end of input
        // so that a caller waiting for a particular key does not spin.
        int key = _getch();
        return key < 0 ? -1 : key;
    }
    // Without a console _getch never reads a pipe or file: take the raw next byte instead.
    unsigned char byte = 0;
    DWORD got = 0;
    if (!ReadFile(StdinHandle(), &byte, 1, &got, nullptr) || got != 1) return -1;
    return byte;
}

}  // namespace platform
