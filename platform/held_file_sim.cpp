// Held files of the host edition: written with execute permission, held open, checked by path.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/environment.h"
#include "platform/held_file.h"

namespace platform {

struct HeldFile::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) close(fd);
    }
};

HeldFile::HeldFile(std::wstring path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}
HeldFile::~HeldFile() = default;

std::unique_ptr<HeldFile> HeldFile::Write(const std::wstring& path,
                                          const std::vector<std::uint8_t>& bytes,
                                          FileError* error) {
    const std::string narrow = NarrowPath(path);
    // A file that is already there is replaced, not rewritten in place: it may be running.
    unlink(narrow.c_str());
    auto handle = std::make_unique<Handle>();
    {
        Handle writer;
        writer.fd = open(narrow.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
        if (writer.fd < 0) {
            if (error) *error = {"open (write)", static_cast<std::uint32_t>(errno)};
            return nullptr;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = write(writer.fd, bytes.data() + done, bytes.size() - done);
            if (wrote <= 0) {
                if (error) *error = {"write", static_cast<std::uint32_t>(errno)};
                return nullptr;
            }
            done += static_cast<std::size_t>(wrote);
        }
    }
    handle->fd = open(narrow.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle->fd < 0) {
        if (error) *error = {"open (hold)", static_cast<std::uint32_t>(errno)};
        return nullptr;
    }
    return std::unique_ptr<HeldFile>(new HeldFile(path, std::move(handle)));
}

bool HeldFile::Holds(const std::vector<std::uint8_t>& bytes) const {
    std::ifstream in(NarrowPath(path_), std::ios::binary);
    if (!in) return false;
    const std::vector<std::uint8_t> onDisk((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    return onDisk == bytes;
}

}  // namespace platform
