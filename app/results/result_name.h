// A name as the result file keeps it: JSON holds only valid UTF-8, while a file name may be any
// bytes (host) or hold an unpaired surrogate (Windows), and such a name must still be kept whole.
#pragma once

#include <optional>
#include <string>

struct tagResultName {
    std::string text;
    bool escaped = false;  // `text` is in the escaped form below
};

// The name unchanged when it is valid UTF-8. Otherwise the escaped form: a backslash is written
// "\\", an unpaired surrogate (a Windows name's UTF-16 unit D800..DFFF, which the wide-to-UTF-8
// conversion leaves as its three bytes ED A0..BF 80..BF) "\uDXXX", and every other byte that is not
// part of a valid UTF-8 sequence "\xNN" (hexadecimal digits in upper case).
tagResultName NameForResult(const std::string& name);

// The name's bytes back from either form; nothing for an escaped text that is not of that form.
std::optional<std::string> NameFromResult(const tagResultName& name);
