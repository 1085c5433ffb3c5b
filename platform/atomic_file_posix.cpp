// Link-safe files of the host edition: O_NOFOLLOW, lstat and the link count, rename.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/text_encoding.h"

namespace platform {

namespace {

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

bool Fail(FileError* error, const char* call, int code) {
    if (error) *error = FileFailure(call, static_cast<std::uint32_t>(code));
    return false;
}

bool PlainSingleLink(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_nlink == 1;
}

}  // namespace

bool ReplaceFileAtomically(const std::wstring& path, const std::string& bytes, FileError* error) {
    const std::string target = NarrowPath(path);
    struct stat existing {};
    if (lstat(target.c_str(), &existing) == 0 && !PlainSingleLink(existing))
        return Fail(error, "lstat (a link or a file with several names)", EPERM);
    const std::string temporary = target + ".tmp" + std::to_string(getpid());
    unlink(
        temporary.c_str());  // a stale one from a run that ended early; a link goes, not its target
    {
        Descriptor file;
        file.fd =
            open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (file.fd < 0) return Fail(error, "open", errno);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = write(file.fd, bytes.data() + done, bytes.size() - done);
            if (wrote <= 0) {
                const int code = errno;
                unlink(temporary.c_str());
                return Fail(error, "write", code);
            }
            done += static_cast<std::size_t>(wrote);
        }
        if (fsync(file.fd) != 0) {
            const int code = errno;
            unlink(temporary.c_str());
            return Fail(error, "fsync", code);
        }
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int code = errno;
        unlink(temporary.c_str());
        return Fail(error, "rename", code);
    }
    return true;
}

std::optional<std::string> ReadFileSafely(const std::wstring& path, std::size_t maxBytes) {
    Descriptor file;
    file.fd = open(NarrowPath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (file.fd < 0) return std::nullopt;
    struct stat info {};
    if (fstat(file.fd, &info) != 0 || !PlainSingleLink(info)) return std::nullopt;
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(file.fd, bytes.data() + done, bytes.size() - done);
        if (got <= 0) return std::nullopt;
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

bool IsLinkOrReparsePoint(const std::wstring& path) {
    struct stat info {};
    return lstat(NarrowPath(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::vector<std::wstring> PlainFileNames(const std::wstring& directory) {
    std::vector<std::wstring> names;
    const std::string base = NarrowPath(directory);
    DIR* listing = opendir(base.c_str());
    if (!listing) return names;
    while (const dirent* entry = readdir(listing)) {
        struct stat info {};
        const std::string full = base + "/" + entry->d_name;
        if (lstat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(Utf8ToWide(entry->d_name));
    }
    closedir(listing);
    return names;
}

}  // namespace platform
