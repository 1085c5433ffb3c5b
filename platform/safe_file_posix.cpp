// Link-safe files of the host edition: O_NOFOLLOW, the link count, and the descriptor's own path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/environment.h"
#include "platform/safe_file.h"

namespace platform {

namespace {

bool Fail(FileError* error, const char* call, int code, FileRefusal refusal = FileRefusal::kNone) {
    if (error) *error = FileFailure(call, static_cast<std::uint32_t>(code), refusal);
    return false;
}

bool FailElsewhere(FileError* error) {
    if (error) {
        *error = FileFailure("final path of the handle is elsewhere (a link)", 0,
                             FileRefusal::kElsewhere);
    }
    return false;
}

std::string DescriptorPath(int fd) {
    char buffer[PATH_MAX + 1] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), buffer, PATH_MAX);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

bool CheckFinalPath(int fd, const std::string& path, FileError* error) {
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char resolved[PATH_MAX + 1] = {};
    if (!realpath(directory.c_str(), resolved)) return Fail(error, "realpath", errno);
    std::string expected = resolved;
    if (expected.back() != '/') expected += '/';
    expected += slash == std::string::npos ? path : path.substr(slash + 1);
    if (DescriptorPath(fd) != expected) return FailElsewhere(error);
    return true;
}

}  // namespace

struct SafeFile::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) close(fd);
    }
};

SafeFile::SafeFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
SafeFile::~SafeFile() = default;

std::unique_ptr<SafeFile> SafeFile::Open(const std::wstring& path, SafeOpenMode mode,
                                         FileError* error) {
    const std::string narrow = NarrowPath(path);
    int flags = O_NOFOLLOW | O_CLOEXEC;
    if (mode == SafeOpenMode::kHold) flags |= O_RDONLY;
    if (mode == SafeOpenMode::kReplace) flags |= O_RDWR | O_CREAT;
    if (mode == SafeOpenMode::kAppend) flags |= O_RDWR | O_CREAT | O_APPEND;
    auto handle = std::make_unique<Handle>();
    // Never O_TRUNC: that would empty a planted link's target before it could be refused.
    handle->fd = open(narrow.c_str(), flags, 0755);
    if (handle->fd < 0) {
        const int code = errno;
        Fail(error, code == ELOOP ? "the file is a symbolic link" : "open", code,
             code == ELOOP ? FileRefusal::kLink : FileRefusal::kNone);
        return nullptr;
    }
    struct stat info {};
    if (fstat(handle->fd, &info) != 0) {
        Fail(error, "fstat", errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        Fail(error, "the file is no regular file", 0, FileRefusal::kLink);
        return nullptr;
    }
    if (info.st_nlink > 1) {
        Fail(error, "the file has more than one name (a hard link)",
             static_cast<int>(info.st_nlink), FileRefusal::kLink);
        return nullptr;
    }
    if (!CheckFinalPath(handle->fd, narrow, error)) return nullptr;
    if (mode == SafeOpenMode::kReplace && ftruncate(handle->fd, 0) != 0) {
        Fail(error, "ftruncate", errno);
        return nullptr;
    }
    return std::unique_ptr<SafeFile>(new SafeFile(std::move(handle)));
}

bool SafeFile::Write(const void* data, std::size_t size, FileError* error) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = write(handle_->fd, bytes + done, size - done);
        if (wrote <= 0) return Fail(error, "write", errno);
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> SafeFile::ReadAll() {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (off_t at = 0;;) {
        const ssize_t got = pread(handle_->fd, chunk, sizeof chunk, at);
        if (got < 0) return std::nullopt;
        if (got == 0) return bytes;
        bytes.insert(bytes.end(), chunk, chunk + got);
        at += got;
    }
}

bool MoveFileNameAside(const std::wstring& path) {
    const std::string narrow = NarrowPath(path);
    const std::string aside = narrow + ".refused-" + std::to_string(getpid());
    return rename(narrow.c_str(), aside.c_str()) == 0;
}

bool RemoveFileName(const std::wstring& path, bool) {
    return unlink(NarrowPath(path).c_str()) == 0 || errno == ENOENT;
}

}  // namespace platform
