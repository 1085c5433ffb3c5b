// The host-state lock on POSIX systems: flock, which the kernel releases with its holder.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

#include "simhost/host_file_lock.h"

namespace sim::host {

CHostFileLock::CHostFileLock(const std::filesystem::path& file) {
    const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = "open: " + std::string(std::strerror(errno));
        return;
    }
    handle_ = fd;
    // An explicit unlock below frees it even when a forked child still holds a copy of the fd.
    while (flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        error_ = "flock: " + std::string(std::strerror(errno));
        return;
    }
    held_ = true;
}

CHostFileLock::~CHostFileLock() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    if (held_) flock(fd, LOCK_UN);
    close(fd);
}

}  // namespace sim::host
