// The host edition's run lock: a lock file others could write or that is a link is a squat, one
// held by another open is busy, and a free one is held for the rest of the process.
#include "hwaccess/run_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using run_lock::RunLockState;

struct tagStateDirectory {
    tagStateDirectory() {
        path = fs::temp_directory_path() / ("ovn-run-lock-" + std::to_string(getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
        setenv("OVN_SIM_STATE", path.c_str(), 1);
    }
    ~tagStateDirectory() {
        unsetenv("OVN_SIM_STATE");
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path LockFile() const { return path / "OvnK740FpgaUpdaterRun.lock"; }
    fs::path path;
};

// One test, in this order: once the process holds the lock, every later attempt finds it held.
TEST(RunLock, SquatsAreRefusedABusyLockIsNotTakenAndAFreeOneIsHeldUntilTheEnd) {
    tagStateDirectory state;
    std::ofstream(state.LockFile()).put('x');
    fs::permissions(state.LockFile(), fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(run_lock::TryHoldRunLock().state, RunLockState::kSquatted) << "writable by others";

    fs::remove(state.LockFile());
    std::ofstream(state.path / "elsewhere").put('x');
    fs::create_symlink(state.path / "elsewhere", state.LockFile());
    EXPECT_EQ(run_lock::TryHoldRunLock().state, RunLockState::kSquatted) << "a link";
    fs::remove(state.LockFile());

    // Another run: a lock on another open of the file, as a second process has.
    const int other = open(state.LockFile().c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(run_lock::TryHoldRunLock().state, RunLockState::kBusy);
    close(other);  // that run ends: its lock goes with it

    EXPECT_EQ(run_lock::TryHoldRunLock().state, RunLockState::kHeld);
    const int late = open(state.LockFile().c_str(), O_RDWR);
    ASSERT_GE(late, 0);
    EXPECT_NE(flock(late, LOCK_EX | LOCK_NB), 0) << "the held lock must keep others out";
    close(late);
    EXPECT_EQ(run_lock::TryHoldRunLock().state, RunLockState::kHeld);
}

}  // namespace
