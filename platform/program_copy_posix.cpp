// The host edition's program file: /proc/self/exe held read-only, its identity checked by device
// and inode, copied with the "resources" folder the program reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/posix_descriptor.h"
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

FileError Fail(const char* call, int code) {
    return FileFailure(call, static_cast<std::uint32_t>(code));
}

}  // namespace

struct RunningProgramFile::Handle {
    ovn::ScopedDescriptor fd;
    // The resources read at the start, beside the program where it was started from.
    std::vector<std::pair<std::string, std::string>> resources;
    // Still the file of the running program: the same device and inode as the process's image.
    bool StillTheRunningProgram() const {
        struct stat opened {
        }, running{};
        return fstat(fd.get(), &opened) == 0 && stat(kSelf, &running) == 0 &&
               opened.st_dev == running.st_dev && opened.st_ino == running.st_ino;
    }
};

RunningProgramFile::RunningProgramFile(std::wstring name, std::string bytes,
                                       std::unique_ptr<Handle> handle)
    : name_(std::move(name)), bytes_(std::move(bytes)), handle_(std::move(handle)) {}

RunningProgramFile::~RunningProgramFile() = default;

FileResult<std::unique_ptr<RunningProgramFile>> RunningProgramFile::Open() {
    auto handle = std::make_unique<Handle>();
    // The magic link leads to the image the process runs, whatever its name is now.
    handle->fd.reset(open(kSelf, O_RDONLY | O_CLOEXEC));
    if (!handle->fd) return Fail("open /proc/self/exe", errno);
    if (!handle->StillTheRunningProgram())
        return Fail("the program file is not the running program", EXDEV);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(handle->fd.get(), buffer, sizeof buffer);
        if (got < 0) return Fail("read /proc/self/exe", errno);
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    const ovn::Result<std::wstring> module = ModuleFileName();
    if (!module) return Fail(module.error().call.c_str(), module.error().code);
    const fs::path resources = fs::path(NarrowPath(*module)).parent_path() / "resources";
    std::error_code ignored;
    if (fs::is_directory(resources, ignored)) {
        for (const auto& entry : fs::directory_iterator(resources, ignored)) {
            auto content = ReadFileSafely(Utf8ToWide(entry.path().string()), kMaxResourceBytes);
            if (!content) return Fail("read a resource beside the program", EIO);
            handle->resources.emplace_back(entry.path().filename().string(), std::move(*content));
        }
    }
    return std::unique_ptr<RunningProgramFile>(
        new RunningProgramFile(Utf8ToWide(kCopyName), std::move(bytes), std::move(handle)));
}

FileResult<std::wstring> RunningProgramFile::CopyInto(const std::wstring& folder) const {
    const fs::path target = fs::path(NarrowPath(folder)) / NarrowPath(name_);
    struct stat running {
    }, existing{};
    if (stat(kSelf, &running) == 0 && lstat(target.c_str(), &existing) == 0 &&
        running.st_dev == existing.st_dev && running.st_ino == existing.st_ino)
        return Utf8ToWide(target.string());
    // Nothing here can deny a rename: the file must still be the one the bytes were read from.
    if (!handle_->StillTheRunningProgram())
        return Fail("the program file is no longer the running program", EXDEV);
    if (FileStatus written = ReplaceProgramAtomically(Utf8ToWide(target.string()), bytes_);
        !written)
        return written.error();
    const fs::path resources = target.parent_path() / "resources";
    std::error_code ignored;
    fs::create_directories(resources, ignored);
    for (const auto& [name, content] : handle_->resources) {
        const std::wstring path = Utf8ToWide((resources / name).string());
        if (FileStatus written = ReplaceProgramAtomically(path, content); !written)
            return written.error();
    }
    return Utf8ToWide(target.string());
}

void RemoveProgramCopy(const std::wstring& folder) {
    const fs::path target = fs::path(NarrowPath(folder)) / kCopyName;
    // A copy that cannot go is replaced by name by the next one.
    (void)RemoveFileName(Utf8ToWide(target.string()));
    std::error_code ignored;
    fs::remove_all(target.parent_path() / "resources", ignored);
}

}  // namespace platform
