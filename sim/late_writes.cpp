// The record of register writes that follow the start of the display driver's enable.
#include "sim/late_writes.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "sim/version_store.h"

namespace sim {

namespace {
std::atomic<bool> enableStarted{false};
std::mutex fileLock;
}  // namespace

void NoteDisplayEnableStarted() { enableStarted.store(true); }

void NoteRegisterWrite(std::uint32_t reg, std::uint32_t value) {
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
