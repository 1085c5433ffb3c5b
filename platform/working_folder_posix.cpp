// The working folder of the host edition: under the simulated machine's state directory; the
// primitives the trust policy judges and drives (owner uid, mode bits, symbolic links), and the
// program's copy.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/environment.h"
#include "platform/folder_trust_policy.h"
#include "platform/known_folders.h"
#include "platform/working_folder.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX + 1] = {};
    return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// The host has no groups of administrators: the running user stands for them, and the mode's
// three classes are the DACL's entries.
class CPosixFolder final : public IFolderPrimitives {
public:
    tagFolderLevel Examine(const std::wstring& path, const std::wstring& expectedFinal) override {
        tagFolderLevel level;
        const std::string narrow = NarrowPath(path);
        struct stat info {};
        if (lstat(narrow.c_str(), &info) != 0) {
            if (errno == ENOENT) return level;
            level.exists = true;
            level.unreadable = L"it cannot be examined (errno " + std::to_wstring(errno) + L")";
            return level;
        }
        level.exists = true;
        level.isLink = S_ISLNK(info.st_mode);
        level.isDirectory = S_ISDIR(info.st_mode);
        if (level.isLink || !level.isDirectory) return level;
        const std::string final = Resolved(narrow);
        if (final != NarrowPath(expectedFinal)) level.leadsTo = Utf8ToWide(final);
        level.owner = Trustee(info.st_uid);
        level.aces = {
            {AceKind::kAllow, level.owner, (info.st_mode & S_IWUSR) != 0, false},
            {AceKind::kAllow,
             {TrusteeKind::kOther, L"others (group " + std::to_wstring(info.st_gid) + L")"},
             (info.st_mode & S_IWGRP) != 0,
             false},
            {AceKind::kAllow,
             {TrusteeKind::kOther, L"others (everyone)"},
             (info.st_mode & S_IWOTH) != 0,
             false}};
        return level;
    }

    FileStatus Rewrite(const std::wstring& path) override {
        if (chmod(NarrowPath(path).c_str(), kMode) == 0) return {};
        return FileFailure("chmod", static_cast<std::uint32_t>(errno));
    }

    FileResult<std::wstring> MoveAside(const std::wstring& path) override {
        // Process-wide: the names moved aside carry the process id, so the count makes them unique.
        static int counter = 0;
        const std::string aside = NarrowPath(path) + ".untrusted-" + std::to_string(getpid()) +
                                  "-" + std::to_string(counter++);
        if (rename(NarrowPath(path).c_str(), aside.c_str()) == 0) return Utf8ToWide(aside);
        return FileFailure("rename", static_cast<std::uint32_t>(errno));
    }

    FileStatus Create(const std::wstring& path) override {
        const std::string narrow = NarrowPath(path);
        if (mkdir(narrow.c_str(), kMode) == 0 && chmod(narrow.c_str(), kMode) == 0) return {};
        return FileFailure("mkdir", static_cast<std::uint32_t>(errno));
    }

private:
    static constexpr mode_t kMode = 0755;

    static tagTrustee Trustee(uid_t uid) {
        return {uid == geteuid() ? TrusteeKind::kAdministrators : TrusteeKind::kOther,
                L"user " + std::to_wstring(uid)};
    }
};

}  // namespace

WorkingFolderResult PrepareWorkingFolder() {
    tagWorkingFolder folder;
    const auto base = ProgramDataFolder();
    std::error_code ignored;
    if (base) fs::create_directories(NarrowPath(*base), ignored);
    std::string expected = base ? Resolved(NarrowPath(*base)) : std::string();
    if (expected.empty()) {
        return NoWorkingFolder(
            FileFailure("the program data folder", static_cast<std::uint32_t>(errno)), folder);
    }
    // The program-data folder of the host edition is the run's own, under the state directory:
    // a file in its place is in the way as a level of the working folder would be.
    if (!fs::is_directory(expected, ignored)) {
        WorkingFolderError failed =
            NoWorkingFolder(FileFailure("the program data folder", ENOTDIR), folder);
        failed.inTheWay = *base;
        failed.inTheWayFault = L"it is a file, not a folder";
        return failed;
    }
    CPosixFolder system;
    std::string path = NarrowPath(*base);
    for (const char* level : {"Orvane", "OvnK740FpgaUpdater"}) {
        path += '/';
        path += level;
        expected += '/';
        expected += level;
        if (auto made = PrepareFolderLevel(system, Utf8ToWide(path), Utf8ToWide(expected), folder);
            !made) {
            return made.error();
        }
    }
    folder.path = Utf8ToWide(path) + L'/';
    return folder;
}

}  // namespace platform
