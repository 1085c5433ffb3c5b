// One JSON file per state directory, guarded by a file lock and replaced by rename.
#include "simhost/host_store.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <system_error>

#include "simhost/host_file_lock.h"
#include "simhost/host_power_cut.h"
#include "simhost/host_state_schema.h"

namespace sim::host {

namespace fs = std::filesystem;

namespace {

std::mutex& ProcessLock() {
    static std::mutex lock;
    return lock;
}

// The simulated host's complaints go to standard error, each one once per process: a state file
// is read again by every call, and a run would otherwise repeat the same line hundreds of times.
// Called with ProcessLock() held.
void Complain(const std::string& line) {
    static std::set<std::string> said;
    if (!said.insert(line).second) return;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A state file that is no JSON object reads as empty, a member of the wrong type as absent; both
// are said once, and the next write replaces them.
nlohmann::json ReadFile() {
    std::ifstream in(StateFile(), std::ios::binary);
    if (!in) return nlohmann::json::object();
    std::stringstream text;
    text << in.rdbuf();
    auto document = nlohmann::json::parse(text.str(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        Complain("simulated host state file " + Quoted(StateFile()) +
                 ": not a JSON object; read as empty");
        return nlohmann::json::object();
    }
    const std::string fault = DropMistypedMembers(document);
    if (!fault.empty()) {
        Complain("simulated host state file " + Quoted(StateFile()) + ": " + fault +
                 "; read as absent");
    }
    return document;
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream suffix;
    suffix << '.' << now << '.' << counter.fetch_add(1) << ".tmp";
    return suffix.str();
}

// The state directory, created when missing; false (said once) when it cannot be.
bool EnsureStateDirectory() {
    std::error_code ec;
    fs::create_directories(StateDirectory(), ec);
    if (fs::is_directory(StateDirectory())) return true;
    Complain("simulated host state directory " + Quoted(StateDirectory()) +
             ": cannot be created: " + (ec ? ec.message() : std::string("not a directory")) +
             "; changes to the simulated host are lost");
    return false;
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
    if (!EnsureStateDirectory()) return;
    // The threads of this process are ordered by ProcessLock(); the file lock orders processes.
    CHostFileLock lock(StateDirectory() / "host.json.lock");
    if (!lock.Held()) {
        Complain("simulated host state lock " + Quoted(StateDirectory() / "host.json.lock") + ": " +
                 lock.Error() + "; changes to the simulated host are lost");
        return;
    }
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
    if (!ec) CountSaveAndCutPower(StateDirectory());
}

void Reset() {
    std::lock_guard<std::mutex> guard(ProcessLock());
    std::error_code ec;
    fs::remove(StateFile(), ec);
}

void CountFileReplacementAndCutPower(const std::string& file) {
    const char* at = std::getenv("OVN_SIM_CUT_AT_SAVE");
    if (!at || !*at) return;
    CHostFileLock lock(StateDirectory() / "host.json.lock");
    if (lock.Held()) CountSaveAndCutPower(StateDirectory(), file);
}

}  // namespace sim::host
