// Conversions between wide text and the one narrow encoding (UTF-8) of the log and host console.
#pragma once

#include <string>
#include <vector>

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
// Widens each byte to one wide character, as the run shows the narrow file name it was given.
std::wstring WidenBytes(const char* text);

// A program's wide argument vector as the narrow (UTF-8) one the shared entry points take; Argv()
// stays valid, null-terminated, while the object lives.
class CUtf8Arguments {
public:
    CUtf8Arguments(int argc, wchar_t** argv);
    char** Argv() { return pointers_.data(); }

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
};
