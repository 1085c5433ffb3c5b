// The log folder of the host edition: each level below the simulated profile opened with openat
// and O_NOFOLLOW, so a symbolic link at any level is refused rather than followed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/posix_descriptor.h"
#include "platform/environment.h"
#include "platform/known_folders.h"
#include "platform/log_folder.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

using Descriptor = ovn::ScopedDescriptor;

std::vector<std::string> Levels(const std::string& relative) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        if (end > start) levels.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

// What is wrong with a name that O_NOFOLLOW | O_DIRECTORY would not open.
std::wstring Fault(int parent, const std::string& name, int openError) {
    struct stat info {};
    if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(info.st_mode)) return L"is a symbolic link";
        if (!S_ISDIR(info.st_mode)) return L"is no folder";
    }
    return L"cannot be opened (" + Utf8ToWide(std::strerror(openError)) + L")";
}

ovn::Error Refused(const char* call, std::uint32_t code, const std::wstring& refusal) {
    return ovn::Error{call, code, WideToUtf8(refusal)};
}

}  // namespace

ovn::Result<std::wstring> PrepareLogFolder() {
    const auto profile = UserProfileFolder();
    const auto local = LocalAppDataFolder();
    if (!profile || !local) {
        const ovn::Error& error = profile ? local.error() : profile.error();
        return Refused(error.call.c_str(), error.code,
                       L"the user's profile or local application data folder is unknown");
    }
    const std::string base = NarrowPath(*profile);
    const std::string localPath = NarrowPath(*local);
    if (localPath.size() <= base.size() + 1 || localPath.compare(0, base.size(), base) != 0 ||
        localPath[base.size()] != '/') {
        return Refused("local application data folder in the profile", 0,
                       L"the local application data folder " + *local +
                           L" is not in the user's profile " + *profile);
    }
    // The simulated machine's profile exists as a real one does; its own place is the system's.
    std::error_code ignored;
    std::filesystem::create_directories(base, ignored);
    Descriptor parent(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0) {
        const int code = errno;
        return Refused("open", static_cast<std::uint32_t>(code),
                       L"the user's profile " + *profile + L" cannot be opened (" +
                           Utf8ToWide(std::strerror(code)) + L")");
    }
    std::vector<std::string> levels = Levels(localPath.substr(base.size() + 1));
    levels.insert(levels.end(), {"Orvane", "OvnK740FpgaUpdater"});
    std::string path = base;
    for (const std::string& level : levels) {
        path += '/';
        path += level;
        // Made relative to the open parent: a new folder is never a link, an existing name stays.
        mkdirat(parent.get(), level.c_str(), 0755);
        Descriptor next(
            openat(parent.get(), level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) {
            const int code = errno;
            return Refused(
                "openat", static_cast<std::uint32_t>(code),
                L"the folder " + Utf8ToWide(path) + L" " + Fault(parent.get(), level, code));
        }
        parent = std::move(next);
    }
    return Utf8ToWide(path) + L'/';
}

}  // namespace platform
