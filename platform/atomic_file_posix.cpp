// Whole-file replacement and link-safe reads of the host edition: O_EXCL|O_NOFOLLOW, fsync, rename.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/file_replace_cut.h"
#include "text/text_encoding.h"

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
bool WriteTemporary(const std::string& temporary, const char* data, std::size_t size, mode_t mode,
                    FileError* error) {
    Descriptor file;
    file.fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (file.fd < 0) return Fail(error, "open (new)", errno);
    const char* failed = nullptr;
    if (fchmod(file.fd, mode) != 0) failed = "fchmod";  // the umask does not decide
    if (!failed && !WriteAll(file.fd, data, size)) failed = "write";
    if (!failed && fsync(file.fd) != 0) failed = "fsync";
    if (!failed) return true;
    const int code = errno;
    unlink(temporary.c_str());
    return Fail(error, failed, code);
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
    Descriptor folder;
    folder.fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder.fd >= 0) fsync(folder.fd);
}

std::string TemporaryName(const std::string& target) {
    return target + ".tmp" + std::to_string(getpid());
}

// The temporary file, whole and flushed, takes the name; on failure its own name goes.
bool RenameOnto(const std::string& temporary, const std::wstring& path, FileError* error) {
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
        return Fail(error, "rename", code);
    }
    FlushDirectory(target);
    return true;
}

bool Replace(const std::wstring& path, const char* data, std::size_t size, mode_t mode,
             FileError* error) {
    const std::string target = NarrowPath(path);
    const std::string temporary = TemporaryName(target);
    RemoveLeftovers(target);
    if (!WriteTemporary(temporary, data, size, mode, error)) return false;
    return RenameOnto(temporary, path, error);
}

}  // namespace

struct AtomicFileStream::Handle {
    Descriptor file;
    std::string temporary;
};

AtomicFileStream::AtomicFileStream(std::wstring path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}

AtomicFileStream::~AtomicFileStream() {
    if (handle_ && handle_->file.fd >= 0) unlink(handle_->temporary.c_str());
}

std::unique_ptr<AtomicFileStream> AtomicFileStream::Create(const std::wstring& path,
                                                           FileError* error) {
    const std::string target = NarrowPath(path);
    auto handle = std::make_unique<Handle>();
    handle->temporary = TemporaryName(target);
    RemoveLeftovers(target);
    handle->file.fd =
        open(handle->temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (handle->file.fd < 0) {
        Fail(error, "open (new)", errno);
        return nullptr;
    }
    if (fchmod(handle->file.fd, 0644) != 0) {
        const int code = errno;
        unlink(handle->temporary.c_str());
        handle->file.fd = -1;
        Fail(error, "fchmod", code);
        return nullptr;
    }
    return std::unique_ptr<AtomicFileStream>(new AtomicFileStream(path, std::move(handle)));
}

bool AtomicFileStream::Write(const void* data, std::size_t size, FileError* error) {
    if (handle_->file.fd < 0) return Fail(error, "write", EBADF);
    if (WriteAll(handle_->file.fd, static_cast<const char*>(data), size)) return true;
    const int code = errno;
    unlink(handle_->temporary.c_str());
    close(handle_->file.fd);
    handle_->file.fd = -1;
    return Fail(error, "write", code);
}

bool AtomicFileStream::Commit(FileError* error) {
    if (handle_->file.fd < 0) return Fail(error, "write", EBADF);
    const bool flushed = fsync(handle_->file.fd) == 0;
    const int code = errno;
    close(handle_->file.fd);
    handle_->file.fd = -1;
    if (!flushed) {
        unlink(handle_->temporary.c_str());
        return Fail(error, "fsync", code);
    }
    return RenameOnto(handle_->temporary, path_, error);
}

bool ReplaceFileAtomically(const std::wstring& path, const std::string& bytes, FileError* error) {
    return Replace(path, bytes.data(), bytes.size(), 0644, error);
}

bool ReplaceProgramAtomically(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                              FileError* error) {
    return Replace(path, reinterpret_cast<const char*>(bytes.data()), bytes.size(), 0755, error);
}

std::optional<std::string> ReadFileSafely(const std::wstring& path, std::size_t maxBytes,
                                          bool* tooLarge) {
    if (tooLarge) *tooLarge = false;
    Descriptor file;
    file.fd = open(NarrowPath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (file.fd < 0) return std::nullopt;
    struct stat info {};
    if (fstat(file.fd, &info) != 0 || !PlainSingleLink(info)) return std::nullopt;
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        if (tooLarge) *tooLarge = true;
        return std::nullopt;
    }
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
