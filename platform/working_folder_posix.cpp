// The working folder of the host edition: under the simulated machine's state directory, owned by
// the running user, writable by nobody else, no symbolic link on the way.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/environment.h"
#include "platform/known_folders.h"
#include "platform/text_encoding.h"
#include "platform/working_folder.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX + 1] = {};
    return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::wstring Fault(const std::string& path, const std::string& expectedFinal) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return L"it cannot be examined";
    if (S_ISLNK(info.st_mode)) return L"it is a symbolic link";
    if (!S_ISDIR(info.st_mode)) return L"it is no folder";
    const std::string final = Resolved(path);
    if (final != expectedFinal) return L"it leads to " + Utf8ToWide(final);
    if (info.st_uid != geteuid()) return L"it belongs to user " + std::to_wstring(info.st_uid);
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return L"it lets others write";
    return {};
}

bool PrepareLevel(const std::string& path, const std::string& expectedFinal,
                  tagWorkingFolder& result) {
    struct stat info {};
    const std::wstring wide = Utf8ToWide(path);
    if (lstat(path.c_str(), &info) == 0) {
        const std::wstring fault = Fault(path, expectedFinal);
        if (fault.empty()) return true;
        static int counter = 0;
        const std::string aside =
            path + ".untrusted-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        if (rename(path.c_str(), aside.c_str()) != 0) {
            result.error = FileFailure("rename", static_cast<std::uint32_t>(errno));
            result.events.push_back(L"The working folder " + wide + L" is not safe (" + fault +
                                    L") and cannot be moved aside.");
            return false;
        }
        result.events.push_back(L"The working folder " + wide + L" was not safe (" + fault +
                                L"); it was moved aside to " + Utf8ToWide(aside) + L".");
    }
    if (mkdir(path.c_str(), 0755) != 0 || chmod(path.c_str(), 0755) != 0) {
        result.error = FileFailure("mkdir", static_cast<std::uint32_t>(errno));
        return false;
    }
    const std::wstring fault = Fault(path, expectedFinal);
    if (fault.empty()) return true;
    result.error = FileFailure("the folder just created is not safe", 0);
    result.events.push_back(L"The working folder " + wide + L" just created is not safe (" + fault +
                            L").");
    return false;
}

}  // namespace

tagWorkingFolder PrepareWorkingFolder() {
    tagWorkingFolder result;
    const auto base = ProgramDataFolder();
    std::error_code ignored;
    if (base) fs::create_directories(NarrowPath(*base), ignored);
    std::string expected = base ? Resolved(NarrowPath(*base)) : std::string();
    if (expected.empty()) {
        result.error = FileFailure("the program data folder", static_cast<std::uint32_t>(errno));
        return result;
    }
    std::string path = NarrowPath(*base);
    for (const char* level : {"Orvane", "OvnK740FpgaUpdater"}) {
        path += '/';
        path += level;
        expected += '/';
        expected += level;
        if (!PrepareLevel(path, expected, result)) return result;
    }
    result.path = Utf8ToWide(path) + L'/';
    return result;
}

}  // namespace platform
