// Whole-file replacement and link-safe reads of the host edition: O_EXCL|O_NOFOLLOW, fsync, rename.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "base/posix_descriptor.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/file_replace_cut.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

using Descriptor = ovn::ScopedDescriptor;

FileError Fail(const char* call, int code) {
    return FileFailure(call, static_cast<std::uint32_t>(code));
}

bool PlainSingleLink(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_nlink == 1;
}

}  // namespace

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = write(fd, data + done, size - done);
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// The new file under its temporary name, whole and on disk; the name is removed again on failure.
FileStatus WriteTemporary(const std::string& temporary, const char* data, std::size_t size,
                          mode_t mode) {
    Descriptor file(
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!file) return Fail("open (new)", errno);
    const char* failed = nullptr;
    if (fchmod(file.get(), mode) != 0) failed = "fchmod";  // the umask does not decide
    if (!failed && !WriteAll(file.get(), data, size)) failed = "write";
    if (!failed && fsync(file.get()) != 0) failed = "fsync";
    if (!failed) return {};
    const int code = errno;
    unlink(temporary.c_str());
    return Fail(failed, code);
}

// Temporary names of this file left by processes that are gone (a cut run) are removed: the names,
// never what a link among them points to. Those of a living writer stay.
void RemoveLeftovers(const std::string& target) {
    const std::size_t slash = target.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string prefix =
        (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
    DIR* listing = opendir(directory.c_str());
    if (!listing) return;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t owner = static_cast<pid_t>(std::stol(digits));
        if (owner == getpid() || (kill(owner, 0) != 0 && errno == ESRCH))
            unlink((directory + name).c_str());
    }
    closedir(listing);
}

// The rename reaches the disk only with its directory.
void FlushDirectory(const std::string& target) {
    const std::size_t slash = target.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const Descriptor folder(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) fsync(folder.get());
}

std::string TemporaryName(const std::string& target) {
    return target + ".tmp" + std::to_string(getpid());
}

// The temporary file, whole and flushed, takes the name; on failure its own name goes.
FileStatus RenameOnto(const std::string& temporary, const std::wstring& path) {
    const std::string target = NarrowPath(path);
    AtFileReplacementBeforeRename(target);
    bool renamed = rename(temporary.c_str(), target.c_str()) == 0;
    int code = errno;
    // A directory cannot be replaced by a file: it goes aside, as a refused name does.
    if (!renamed && (code == EISDIR || code == ENOTEMPTY || code == EEXIST) &&
        MoveFileNameAside(path)) {
        renamed = rename(temporary.c_str(), target.c_str()) == 0;
        code = errno;
    }
    if (!renamed) {
        unlink(temporary.c_str());
        return Fail("rename", code);
    }
    FlushDirectory(target);
    return {};
}

FileStatus Replace(const std::wstring& path, const char* data, std::size_t size, mode_t mode) {
    const std::string target = NarrowPath(path);
    const std::string temporary = TemporaryName(target);
    RemoveLeftovers(target);
    if (FileStatus written = WriteTemporary(temporary, data, size, mode); !written) return written;
    return RenameOnto(temporary, path);
}

}  // namespace

struct AtomicFileStream::Handle {
    Descriptor file;
    std::string temporary;
};

AtomicFileStream::AtomicFileStream(std::wstring path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}

AtomicFileStream::~AtomicFileStream() {
    if (handle_ && handle_->file) unlink(handle_->temporary.c_str());
}

FileResult<std::unique_ptr<AtomicFileStream>> AtomicFileStream::Create(const std::wstring& path) {
    const std::string target = NarrowPath(path);
    auto handle = std::make_unique<Handle>();
    handle->temporary = TemporaryName(target);
    RemoveLeftovers(target);
    handle->file.reset(open(handle->temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!handle->file) return Fail("open (new)", errno);
    if (fchmod(handle->file.get(), 0644) != 0) {
        const int code = errno;
        unlink(handle->temporary.c_str());
        return Fail("fchmod", code);
    }
    return std::unique_ptr<AtomicFileStream>(new AtomicFileStream(path, std::move(handle)));
}

FileStatus AtomicFileStream::Write(const void* data, std::size_t size) {
    if (!handle_->file) return Fail("write", EBADF);
    if (WriteAll(handle_->file.get(), static_cast<const char*>(data), size)) return {};
    const int code = errno;
    unlink(handle_->temporary.c_str());
    handle_->file.reset();
    return Fail("write", code);
}

FileStatus AtomicFileStream::Commit() {
    if (!handle_->file) return Fail("write", EBADF);
    const bool flushed = fsync(handle_->file.get()) == 0;
    const int code = errno;
    handle_->file.reset();
    if (!flushed) {
        unlink(handle_->temporary.c_str());
        return Fail("fsync", code);
    }
    return RenameOnto(handle_->temporary, path_);
}

FileStatus ReplaceFileAtomically(const std::wstring& path, const std::string& bytes) {
    return Replace(path, bytes.data(), bytes.size(), 0644);
}

FileStatus ReplaceProgramAtomically(const std::wstring& path,
                                    const std::vector<std::uint8_t>& bytes) {
    return Replace(path, reinterpret_cast<const char*>(bytes.data()), bytes.size(), 0755);
}

FileResult<std::string> ReadFileSafely(const std::wstring& path, std::size_t maxBytes) {
    const Descriptor file(open(NarrowPath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file) {
        const int code = errno;
        if (code == ELOOP)
            return FileFailure("the file is a symbolic link", ELOOP, FileRefusal::kLink);
        return Fail("open", code);
    }
    struct stat info {};
    if (fstat(file.get(), &info) != 0) return Fail("fstat", errno);
    if (!PlainSingleLink(info))
        return FileFailure("the file has several names or is no plain file", EINVAL,
                           FileRefusal::kLink);
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        FileError error = Fail("the file is larger than the reader takes", EFBIG);
        error.tooLarge = true;
        return error;
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(file.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0) return Fail("read", errno);
        if (got == 0) return Fail("read (the file ended early)", EIO);
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

FileResult<bool> IsLinkOrReparsePoint(const std::wstring& path) {
    struct stat info {};
    if (lstat(NarrowPath(path).c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        return Fail("lstat", errno);
    }
    return S_ISLNK(info.st_mode);
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
