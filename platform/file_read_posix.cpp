// Whole-file reads on the host edition: POSIX calls on the UTF-8 path as it is.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/posix_descriptor.h"
#include "platform/file_read.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

FileReadError Failed(FileReadStatus status, const char* call, int error) {
    FileReadError failure;
    failure.call = call;
    failure.code = static_cast<std::uint32_t>(error);
    failure.status = status;
    return failure;
}

}  // namespace

ovn::Result<tagFileBytes, FileReadError> ReadWholeFile(const std::string& utf8Path,
                                                       std::uint64_t maxBytes) {
    ovn::ScopedDescriptor file(open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        const int error = errno;
        return Failed(error == ENOENT || error == ENOTDIR ? FileReadStatus::kNotFound
                                                          : FileReadStatus::kCannotOpen,
                      "open", error);
    }
    struct stat info {};
    if (fstat(file.get(), &info) != 0) return Failed(FileReadStatus::kCannotOpen, "fstat", errno);
    // A directory opens for reading here and would read as an empty image.
    if (!S_ISREG(info.st_mode)) {
        FileReadError refused =
            Failed(FileReadStatus::kNotARegularFile, "the name is no regular file", 0);
        refused.directory = S_ISDIR(info.st_mode);
        return refused;
    }
    const auto expected = static_cast<std::uint64_t>(info.st_size);
    if (expected > maxBytes) {
        FileReadError refused = Failed(FileReadStatus::kTooLarge, "the file is too large", 0);
        refused.size = expected;
        return refused;
    }

    tagFileBytes result;
    if (expected == 0) return result;
    result.bytes.reset(new std::uint8_t[expected]);
    std::uint64_t total = 0;
    while (total < expected) {
        const ssize_t got = read(file.get(), result.bytes.get() + total, expected - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failed(FileReadStatus::kCannotOpen, "read", errno);
        if (got == 0) break;  // the file shrank meanwhile: what was there is the image
        total += static_cast<std::uint64_t>(got);
    }
    result.size = total;
    return result;
}

std::wstring FileReadErrorText(std::uint32_t systemError) {
    if (systemError == 0) return {};
    return Utf8ToWide(std::strerror(static_cast<int>(systemError)));
}

}  // namespace platform
