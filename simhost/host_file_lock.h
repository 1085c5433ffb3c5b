// An exclusive lock on a file, shared by every process of the simulated host.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace sim::host {

// Held from construction to destruction by one thread at a time per open. The system drops the
// lock when its holder's process ends, so a lock is never stale while nobody holds it, and is never
// taken from a holder that is alive.
class CHostFileLock {
public:
    // Creates the file when missing and waits until the lock is ours; on failure Held() is false
    // and Error() names the call and its cause.
    explicit CHostFileLock(const std::filesystem::path& file);
    ~CHostFileLock();
    CHostFileLock(const CHostFileLock&) = delete;
    CHostFileLock& operator=(const CHostFileLock&) = delete;

    bool Held() const { return held_; }
    const std::string& Error() const { return error_; }

private:
    std::intptr_t handle_ = -1;
    bool held_ = false;
    std::string error_;
};

}  // namespace sim::host
