// Link-safe files of the host edition: O_NOFOLLOW, the link count, and the descriptor's own path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/posix_descriptor.h"
#include "platform/environment.h"
#include "platform/safe_file.h"

namespace platform {

namespace {

FileError Fail(const char* call, int code, FileRefusal refusal = FileRefusal::kNone) {
    return FileFailure(call, static_cast<std::uint32_t>(code), refusal);
}

FileError FailElsewhere() {
    return FileFailure("final path of the handle is elsewhere (a link)", 0,
                       FileRefusal::kElsewhere);
}

std::string DescriptorPath(int fd) {
    char buffer[PATH_MAX + 1] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), buffer, PATH_MAX);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

FileStatus CheckFinalPath(int fd, const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char resolved[PATH_MAX + 1] = {};
    if (!realpath(directory.c_str(), resolved)) return Fail("realpath", errno);
    std::string expected = resolved;
    if (expected.back() != '/') expected += '/';
    expected += slash == std::string::npos ? path : path.substr(slash + 1);
    if (DescriptorPath(fd) != expected) return FailElsewhere();
    return {};
}

}  // namespace

struct SafeFile::Handle {
    ovn::ScopedDescriptor fd;
};

SafeFile::SafeFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
SafeFile::~SafeFile() = default;

FileResult<std::unique_ptr<SafeFile>> SafeFile::Open(const std::wstring& path, SafeOpenMode mode) {
    const std::string narrow = NarrowPath(path);
    int flags = O_NOFOLLOW | O_CLOEXEC;
    if (mode == SafeOpenMode::kHold) flags |= O_RDONLY;
    if (mode == SafeOpenMode::kReplace) flags |= O_RDWR | O_CREAT;
    if (mode == SafeOpenMode::kAppend) flags |= O_RDWR | O_CREAT | O_APPEND;
    auto handle = std::make_unique<Handle>();
    // Never O_TRUNC: that would empty a planted link's target before it could be refused.
    handle->fd.reset(open(narrow.c_str(), flags, 0755));
    if (!handle->fd) {
        const int code = errno;
        return Fail(code == ELOOP ? "the file is a symbolic link" : "open", code,
                    code == ELOOP ? FileRefusal::kLink : FileRefusal::kNone);
    }
    struct stat info {};
    if (fstat(handle->fd.get(), &info) != 0) return Fail("fstat", errno);
    if (!S_ISREG(info.st_mode)) return Fail("the file is no regular file", 0, FileRefusal::kLink);
    if (info.st_nlink > 1) {
        return Fail("the file has more than one name (a hard link)",
                    static_cast<int>(info.st_nlink), FileRefusal::kLink);
    }
    if (FileStatus checked = CheckFinalPath(handle->fd.get(), narrow); !checked)
        return checked.error();
    if (mode == SafeOpenMode::kReplace && ftruncate(handle->fd.get(), 0) != 0)
        return Fail("ftruncate", errno);
    return std::unique_ptr<SafeFile>(new SafeFile(std::move(handle)));
}

FileStatus SafeFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = write(handle_->fd.get(), bytes + done, size - done);
        if (wrote <= 0) return Fail("write", errno);
        done += static_cast<std::size_t>(wrote);
    }
    return {};
}

FileResult<std::vector<std::uint8_t>> SafeFile::ReadAll() {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (off_t at = 0;;) {
        const ssize_t got = pread(handle_->fd.get(), chunk, sizeof chunk, at);
        if (got < 0) return Fail("pread", errno);
        if (got == 0) return bytes;
        bytes.insert(bytes.end(), chunk, chunk + got);
        at += got;
    }
}

FileStatus MoveFileNameAside(const std::wstring& path) {
    const std::string narrow = NarrowPath(path);
    const std::string aside = narrow + ".refused-" + std::to_string(getpid());
    if (rename(narrow.c_str(), aside.c_str()) != 0) return Fail("rename", errno);
    return {};
}

FileStatus RemoveFileName(const std::wstring& path, bool) {
    if (unlink(NarrowPath(path).c_str()) != 0 && errno != ENOENT) return Fail("unlink", errno);
    return {};
}

}  // namespace platform
