// The host edition's program file: /proc/self/exe held read-only, its identity checked by device
// and inode, copied with the "resources" folder the program reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/program_copy.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSelf = "/proc/self/exe";
constexpr const char* kCopyName = "OvnK740FpgaUpdater";
constexpr std::size_t kMaxResourceBytes = 64u << 20;

bool Fail(FileError* error, const char* call, int code) {
    if (error) *error = FileFailure(call, static_cast<std::uint32_t>(code));
    return false;
}

}  // namespace

struct RunningProgramFile::Handle {
    int fd = -1;
    // The resources read at the start, beside the program where it was started from.
    std::vector<std::pair<std::string, std::string>> resources;
    ~Handle() {
        if (fd >= 0) close(fd);
    }
    // Still the file of the running program: the same device and inode as the process's image.
    bool StillTheRunningProgram() const {
        struct stat opened {
        }, running{};
        return fstat(fd, &opened) == 0 && stat(kSelf, &running) == 0 &&
               opened.st_dev == running.st_dev && opened.st_ino == running.st_ino;
    }
};

RunningProgramFile::RunningProgramFile(std::wstring name, std::string bytes,
                                       std::unique_ptr<Handle> handle)
    : name_(std::move(name)), bytes_(std::move(bytes)), handle_(std::move(handle)) {}

RunningProgramFile::~RunningProgramFile() = default;

std::unique_ptr<RunningProgramFile> RunningProgramFile::Open(FileError* error) {
    auto handle = std::make_unique<Handle>();
    // The magic link leads to the image the process runs, whatever its name is now.
    handle->fd = open(kSelf, O_RDONLY | O_CLOEXEC);
    if (handle->fd < 0) {
        Fail(error, "open /proc/self/exe", errno);
        return nullptr;
    }
    if (!handle->StillTheRunningProgram()) {
        Fail(error, "the program file is not the running program", EXDEV);
        return nullptr;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(handle->fd, buffer, sizeof buffer);
        if (got < 0) {
            Fail(error, "read /proc/self/exe", errno);
            return nullptr;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    const fs::path resources = fs::path(NarrowPath(ModuleFileName())).parent_path() / "resources";
    std::error_code ignored;
    if (fs::is_directory(resources, ignored)) {
        for (const auto& entry : fs::directory_iterator(resources, ignored)) {
            auto content = ReadFileSafely(Utf8ToWide(entry.path().string()), kMaxResourceBytes);
            if (!content) {
                Fail(error, "read a resource beside the program", EIO);
                return nullptr;
            }
            handle->resources.emplace_back(entry.path().filename().string(), std::move(*content));
        }
    }
    return std::unique_ptr<RunningProgramFile>(
        new RunningProgramFile(Utf8ToWide(kCopyName), std::move(bytes), std::move(handle)));
}

std::optional<std::wstring> RunningProgramFile::CopyInto(const std::wstring& folder,
                                                         FileError* error) const {
    const fs::path target = fs::path(NarrowPath(folder)) / NarrowPath(name_);
    struct stat running {
    }, existing{};
    if (stat(kSelf, &running) == 0 && lstat(target.c_str(), &existing) == 0 &&
        running.st_dev == existing.st_dev && running.st_ino == existing.st_ino)
        return Utf8ToWide(target.string());
    // Nothing here can deny a rename: the file must still be the one the bytes were read from.
    if (!handle_->StillTheRunningProgram()) {
        Fail(error, "the program file is no longer the running program", EXDEV);
        return std::nullopt;
    }
    if (!ReplaceProgramAtomically(Utf8ToWide(target.string()), bytes_, error)) return std::nullopt;
    const fs::path resources = target.parent_path() / "resources";
    std::error_code ignored;
    fs::create_directories(resources, ignored);
    for (const auto& [name, content] : handle_->resources) {
        const std::wstring path = Utf8ToWide((resources / name).string());
        if (!ReplaceProgramAtomically(path, content, error)) return std::nullopt;
    }
    return Utf8ToWide(target.string());
}

void RemoveProgramCopy(const std::wstring& folder) {
    const fs::path target = fs::path(NarrowPath(folder)) / kCopyName;
    RemoveFileName(Utf8ToWide(target.string()));
    std::error_code ignored;
    fs::remove_all(target.parent_path() / "resources", ignored);
}

}  // namespace platform
