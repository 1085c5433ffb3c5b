// The host-state lock on Windows: a byte-range lock, which the system releases with its holder.
#include <windows.h>

#include "base/win_handles_win.h"
#include "simhost/host_file_lock.h"

namespace sim::host {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::string WithCode(const char* call) {
    return std::string(call) + ": error " + std::to_string(GetLastError());
}

}  // namespace

CHostFileLock::CHostFileLock(const std::filesystem::path& file) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = WithCode("CreateFileW");
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        error_ = WithCode("LockFileEx");
        return;
    }
    held_ = true;
}

// The unset handle (-1) is INVALID_HANDLE_VALUE, which the scoped handle never closes.
CHostFileLock::~CHostFileLock() {
    const ovn::ScopedKernelHandle file(AsHandle(handle_));
    if (held_) {
        OVERLAPPED whole{};
        UnlockFileEx(file.get(), 0, 1, 0, &whole);
    }
}

}  // namespace sim::host
