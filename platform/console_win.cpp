// Console of the Windows edition: wide and UTF-8 text to a console window or a redirected stream,
// cursor, colour, keys.
#include <conio.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/console.h"
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

ovn::Status ConsoleShowCursor(bool visible) {
    CONSOLE_CURSOR_INFO info{};
    if (!GetConsoleCursorInfo(StdoutHandle(), &info))
        return ovn::CallError("GetConsoleCursorInfo", GetLastError());
    info.bVisible = visible ? TRUE : FALSE;
    if (!SetConsoleCursorInfo(StdoutHandle(), &info))
        return ovn::CallError("SetConsoleCursorInfo", GetLastError());
    return ovn::Ok();
}

ovn::Status ConsoleSetTextAttribute(std::uint16_t attribute) {
    // Text still in the CRT buffer must keep the colour it was written with.
    std::fflush(stdout);
    if (!SetConsoleTextAttribute(StdoutHandle(), attribute))
        return ovn::CallError("SetConsoleTextAttribute", GetLastError());
    return ovn::Ok();
}

void* ConsoleWindow() { return GetConsoleWindow(); }

ovn::Status BringWindowToFront(void* window) {
    if (!window) return ovn::Ok();
    HWND hwnd = static_cast<HWND>(window);
    // The system may refuse the foreground to a process the user is not working in (it flashes
    // the window instead); that is no failure of the call, so its answer is not looked at.
    (void)SetForegroundWindow(hwnd);
    if (!BringWindowToTop(hwnd)) return ovn::CallError("BringWindowToTop", GetLastError());
    return ovn::Ok();
}

ovn::Result<bool> StdinIsConsole() {
    DWORD mode = 0;
    if (GetConsoleMode(StdinHandle(), &mode)) return true;
    // A file or pipe has no console mode: that is the answer, not a failure.
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION) return false;
    return ovn::CallError("GetConsoleMode", error);
}

int ReadKeyNoEcho() {
    // Standard input that cannot be told a console is read as a stream: a byte or the end.
    const auto console = StdinIsConsole();
    if (console && *console) {
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
