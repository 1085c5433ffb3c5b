// One JSON file per state directory, guarded by a lock directory and replaced by rename.
#include "sim/host_store.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

namespace sim::host {

namespace fs = std::filesystem;

namespace {

// A holder that died (the console-control path ends the process at once) must not block the next
// run for ever: a lock older than this is taken over.
constexpr auto kStaleLock = std::chrono::seconds(3);

std::mutex& ProcessLock() {
    static std::mutex lock;
    return lock;
}

fs::path LockPath() { return StateDirectory() / "host.lock"; }

// Creating a directory is atomic on every file system we run on, which makes it a portable lock.
class CrossProcessLock {
public:
    CrossProcessLock() {
        std::error_code ec;
        fs::create_directories(StateDirectory(), ec);
        for (;;) {
            if (fs::create_directory(LockPath(), ec)) return;
            auto written = fs::last_write_time(LockPath(), ec);
            if (!ec && fs::file_time_type::clock::now() - written > kStaleLock) {
                fs::remove(LockPath(), ec);
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~CrossProcessLock() {
        std::error_code ec;
        fs::remove(LockPath(), ec);
    }
    CrossProcessLock(const CrossProcessLock&) = delete;
    CrossProcessLock& operator=(const CrossProcessLock&) = delete;
};

nlohmann::json ReadFile() {
    std::ifstream in(StateFile(), std::ios::binary);
    if (!in) return nlohmann::json::object();
    std::stringstream text;
    text << in.rdbuf();
    auto document = nlohmann::json::parse(text.str(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return nlohmann::json::object();
    return document;
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream suffix;
    suffix << '.' << now << '.' << counter.fetch_add(1) << ".tmp";
    return suffix.str();
}

}  // namespace

fs::path StateDirectory() {
    const char* configured = std::getenv("OVN_SIM_STATE");
    if (configured && *configured) return fs::path(configured);
    std::error_code ec;
    fs::path temp = fs::temp_directory_path(ec);
    if (ec) temp = fs::path("/tmp");
    return temp / "ovn-sim-state";
}

fs::path StateFile() { return StateDirectory() / "host.json"; }

nlohmann::json Load() {
    std::lock_guard<std::mutex> guard(ProcessLock());
    return ReadFile();
}

void Update(const std::function<void(nlohmann::json&)>& change) {
    std::lock_guard<std::mutex> guard(ProcessLock());
    CrossProcessLock lock;
    nlohmann::json document = ReadFile();
    change(document);
    fs::path temp = StateFile();
    temp += UniqueSuffix();
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << document.dump(2) << '\n';
    }
    std::error_code ec;
    fs::rename(temp, StateFile(), ec);
    if (ec) fs::remove(temp, ec);
}

void Reset() {
    std::lock_guard<std::mutex> guard(ProcessLock());
    std::error_code ec;
    fs::remove(StateFile(), ec);
}

}  // namespace sim::host
