// Text appended to a file the way the C runtime's text mode writes it, through a link-safe open.
#include "platform/safe_file.h"

namespace platform {

FileStatus AppendTextFile(const std::wstring& path, const std::string& text) {
    auto file = SafeFile::Open(path, SafeOpenMode::kAppend);
    if (!file) return file.error();
    // Text mode: the log's lines end in CR LF on both editions.
    std::string converted;
    converted.reserve(text.size() + 16);
    for (char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return (*file)->Write(converted.data(), converted.size());
}

}  // namespace platform
