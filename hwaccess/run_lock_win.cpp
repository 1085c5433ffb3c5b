// The run lock on Windows: the admin-only named mutex, owned by the main thread until the end.
#include <windows.h>

#include "hwaccess/admin_objects.h"
#include "hwaccess/run_lock.h"

namespace run_lock {
namespace {

// Process-wide: the lock is the process's until it ends, however it ends (never closed: the system
// frees the mutex then).
HANDLE heldMutex = nullptr;

}  // namespace

tagRunLockAttempt TryHoldRunLock() {
    tagRunLockAttempt attempt;
    if (heldMutex != nullptr) {
        attempt.state = RunLockState::kHeld;
        return attempt;
    }
    bool squatted = false;
    HANDLE mutex = driver_loader::CreateAdminOnlyMutex(kRunLockName, squatted, attempt.error);
    if (mutex == nullptr) {
        attempt.state = squatted ? RunLockState::kSquatted : RunLockState::kUnavailable;
        return attempt;
    }
    const DWORD waited = WaitForSingleObject(mutex, 0);
    // An abandoned mutex is owned now: its former holder ended without a word.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        heldMutex = mutex;
        attempt.state = RunLockState::kHeld;
        return attempt;
    }
    attempt.state = waited == WAIT_TIMEOUT ? RunLockState::kBusy : RunLockState::kUnavailable;
    if (waited != WAIT_TIMEOUT)
        attempt.error = ovn::CallError("WaitForSingleObject", GetLastError());
    CloseHandle(mutex);
    return attempt;
}

}  // namespace run_lock
