// The run lock of the host edition: a file in the simulated machine's state directory under flock,
// which the kernel drops with its holder. A file that is a link, not the running user's or
// writable by others stands for an object a non-administrator made.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "hwaccess/run_lock.h"
#include "simhost/host_store.h"

namespace run_lock {
namespace {

// Process-wide: the lock is the process's until it ends (never closed: the lock goes with it).
int heldFile = -1;

std::filesystem::path LockFile() {
    std::string name = kRunLockName;
    name.replace(0, name.find('\\') + 1, "");
    return sim::host::StateDirectory() / (name + ".lock");
}

}  // namespace

tagRunLockAttempt TryHoldRunLock() {
    tagRunLockAttempt attempt;
    if (heldFile >= 0) {
        attempt.state = RunLockState::kHeld;
        return attempt;
    }
    std::error_code missing;
    std::filesystem::create_directories(sim::host::StateDirectory(), missing);
    if (missing) {
        // Without a state directory the simulated machine keeps nothing between processes, so
        // there is nothing two runs could share; the store names the fault when it is used.
        attempt.state = RunLockState::kHeld;
        return attempt;
    }
    const int fd = open(LockFile().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        attempt.state = errno == ELOOP ? RunLockState::kSquatted : RunLockState::kUnavailable;
        attempt.error = ovn::CallError("open", static_cast<std::uint32_t>(errno));
        return attempt;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
        (status.st_mode & (S_IWGRP | S_IWOTH)) != 0 || status.st_nlink != 1) {
        close(fd);
        attempt.state = RunLockState::kSquatted;
        return attempt;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        attempt.state = error == EWOULDBLOCK ? RunLockState::kBusy : RunLockState::kUnavailable;
        if (error != EWOULDBLOCK)
            attempt.error = ovn::CallError("flock", static_cast<std::uint32_t>(error));
        return attempt;
    }
    heldFile = fd;
    attempt.state = RunLockState::kHeld;
    return attempt;
}

}  // namespace run_lock
