// Conversions between wide text and the one narrow encoding (UTF-8) of the log and host console.
#pragma once

#include <string>

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
// Widens each byte to one wide character, as the run shows the narrow file name it was given.
std::wstring WidenBytes(const char* text);
