// The record of register writes that follow the start of the display driver's enable.
#include "sim/late_writes.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "sim/gpio_block.h"
#include "sim/version_store.h"

namespace sim {

namespace {
std::atomic<bool> enableStarted{false};
std::mutex fileLock;
std::atomic<std::uint32_t> stallAfter{0};
std::atomic<std::uint32_t> writesCounted{0};
std::atomic<bool> holdUntilExit{false};
std::mutex releaseLock;
std::function<bool()> release;

std::filesystem::path StallMark() { return StateDirectoryFromEnvironment() / "writes-stalled"; }

bool Released() {
    std::lock_guard<std::mutex> hold(releaseLock);
    return release && release();
}

// Without a release nothing would ever end the hold, so an unreleasable stall is no stall.
void HoldWhileStalled() {
    if (!holdUntilExit.load() && Released()) return;
    {
        std::lock_guard<std::mutex> hold(fileLock);
        if (std::FILE* file = std::fopen(StallMark().string().c_str(), "w")) std::fclose(file);
    }
    {
        std::lock_guard<std::mutex> hold(releaseLock);
        if (!release) return;
    }
    while (holdUntilExit.load() || !Released()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
}  // namespace

void NoteDisplayEnableStarted() { enableStarted.store(true); }

// A stall holds one process of a machine's state: the next start (a rerun after the interruption)
// finds the mark and runs free.
void ArmWriteStall(std::uint32_t afterWrites, bool untilExit) {
    std::error_code error;
    const bool held = std::filesystem::exists(StallMark(), error);
    writesCounted.store(0);
    holdUntilExit.store(untilExit);
    stallAfter.store(held ? 0 : afterWrites);
}

void SetWriteStallRelease(std::function<bool()> released) {
    std::lock_guard<std::mutex> hold(releaseLock);
    release = std::move(released);
}

void NoteRegisterWrite(std::uint32_t reg, std::uint32_t value) {
    const std::uint32_t after = stallAfter.load(std::memory_order_relaxed);
    if (after != 0 && reg == GpioBlock::kOutput &&
        writesCounted.fetch_add(1, std::memory_order_relaxed) >= after) {
        HoldWhileStalled();
    }
    if (!enableStarted.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> hold(fileLock);
    const std::string path = (StateDirectoryFromEnvironment() / "writes-after-enable").string();
    if (std::FILE* file = std::fopen(path.c_str(), "a")) {
        std::fprintf(file, "0x%04X 0x%08X\n", static_cast<unsigned>(reg),
                     static_cast<unsigned>(value));
        std::fclose(file);
    }
}

}  // namespace sim
