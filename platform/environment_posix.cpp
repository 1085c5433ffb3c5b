// Environment of the host edition: POSIX environment, directories and files, UTF-8 file names.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "text/text_encoding.h"

namespace platform {

std::string NarrowPath(const std::wstring& path) { return WideToUtf8(path); }

std::optional<std::wstring> GetEnvironmentWide(const wchar_t* name, std::size_t maxChars) {
    const char* value = std::getenv(NarrowPath(name).c_str());
    if (!value) return std::nullopt;
    std::wstring wide = Utf8ToWide(value);
    // A value that does not fit the caller's buffer is treated as absent, as the Win32 call fails.
    if (wide.size() >= maxChars) return std::nullopt;
    return wide;
}

FileStatus CreateDirectoryWide(const std::wstring& path) {
    std::string narrow = NarrowPath(path);
    if (mkdir(narrow.c_str(), 0777) == 0) return {};
    const int code = errno;
    if (code != EEXIST) return FileFailure("mkdir", static_cast<std::uint32_t>(code));
    struct stat info {};
    if (stat(narrow.c_str(), &info) != 0)
        return FileFailure("stat", static_cast<std::uint32_t>(errno));
    if (!S_ISDIR(info.st_mode)) return FileFailure("mkdir", static_cast<std::uint32_t>(EEXIST));
    return {};
}

ovn::Result<std::wstring> ModuleFileName(std::size_t maxChars) {
    std::vector<char> buffer(maxChars + 1, '\0');
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), maxChars + 1);
    if (length <= 0)
        return ovn::CallError("readlink /proc/self/exe", static_cast<std::uint32_t>(errno));
    // A name longer than maxChars was cut short.
    if (static_cast<std::size_t>(length) > maxChars) {
        return ovn::CallError("readlink /proc/self/exe", ENAMETOOLONG);
    }
    return Utf8ToWide(std::string(buffer.data(), static_cast<std::size_t>(length)));
}

wchar_t PathSeparator() { return L'/'; }

}  // namespace platform
