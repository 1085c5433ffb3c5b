// Console of the Windows edition: CRT output shared by wide and narrow text, cursor, colour, keys.
#include <conio.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/console.h"

namespace platform {

namespace {

HANDLE StdoutHandle() { return GetStdHandle(STD_OUTPUT_HANDLE); }
HANDLE StdinHandle() { return GetStdHandle(STD_INPUT_HANDLE); }

}  // namespace

// Both kinds go through the CRT's stdout in text mode: one buffer keeps them in order, and the same
// bytes (with CR LF line ends) reach a console window and a redirected file alike.
void ConsoleWriteWide(const std::wstring& text) {
    std::fputws(text.c_str(), stdout);
    std::fflush(stdout);
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
