// Child-process plumbing for whole runs: environment, standard input, captured output, SIGINT.
#include "tests/host/updater_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testing/xsvf_writer/make_demo_xsvf.h"
#include "tests/host/machines.h"

namespace {

std::atomic<int> sandboxCounter{0};

// How much faster than wall time the simulated process clock and pauses run in whole runs: the
// timed child waits shrink alike (the export's 10 s to 2 s), still far beyond a loaded machine's
// start of a sanitized child.
constexpr int kWholeRunTimeScale = 5;

struct tagChild {
    pid_t pid = -1;
    std::filesystem::path out, err;
    int heldInput = -1;  // the FIFO's write end, closed when the child has ended
};

}  // namespace

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string DemoImage() {
    static const std::string image = [] {
        const XsvfBytes bytes = MakeK740Xsvf(K740_DEMO_VERSION, K740_QUICK_DATA_WORDS);
        return std::string(bytes.begin(), bytes.end());
    }();
    return image;
}

std::string SampleImage() {
    return ReadFileBytes(std::filesystem::path(OVN_SOURCE_DIR) / "samples" / "k740_demo.xsvf");
}

void UseDemoOnDefaultCards(UpdaterSandbox& box, const std::string& firstFaults,
                           const std::string& secondFaults) {
    std::vector<tagTestCard> cards = DefaultCards();
    cards[0].faults = firstFaults;
    cards[1].faults = secondFaults;
    box.UseMachine(MachineJson(cards));
    box.WriteFile("demo.xsvf", DemoImage());
}

UpdaterSandbox::UpdaterSandbox() {
    root_ = std::filesystem::temp_directory_path() /
            ("ovn-run-" + std::to_string(getpid()) + "-" + std::to_string(sandboxCounter++));
    std::filesystem::remove_all(root_);
    stateDirectory_ = root_ / "state";
    std::filesystem::create_directories(stateDirectory_);
    std::filesystem::create_directories(root_ / "appdata");
    environment_["OVN_SIM_STATE"] = (root_ / "state").string();
    // The log goes to the simulated profile whatever this says; it stays so a stray write shows.
    environment_["LOCALAPPDATA"] = (root_ / "appdata").string();
    // The extracted tool and the suite's settings file stay inside the sandbox.
    std::filesystem::create_directories(root_ / "tmp");
    environment_["TMPDIR"] = (root_ / "tmp").string();
    programDirectory_ = root_;
}

void UpdaterSandbox::InstallProgram(const std::string& directory, bool bareName) {
    const std::filesystem::path source(OVN_UPDATER_PATH);
    programDirectory_ = root_ / directory;
    std::filesystem::create_directories(programDirectory_);
    std::filesystem::copy_file(source, programDirectory_ / source.filename(),
                               std::filesystem::copy_options::overwrite_existing);
    if (std::filesystem::exists(source.parent_path() / "resources")) {
        std::filesystem::copy(source.parent_path() / "resources", programDirectory_ / "resources",
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
    }
    program_ = (programDirectory_ / source.filename()).string();
    argv0_ = bareName ? source.filename().string() : program_;
}

void UpdaterSandbox::InstallSuite() {
    const std::filesystem::path suite = SuiteDirectory();
    std::filesystem::create_directories(suite);
    for (const char* program : {OVN_PLUX_CMD_PATH, OVN_PLUX_CORE_PATH}) {
        const std::filesystem::path source(program);
        std::filesystem::copy_file(source, suite / source.filename(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

UpdaterSandbox::~UpdaterSandbox() {
    CheckKeptResults();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void UpdaterSandbox::KeepNewResults() const {
    std::error_code error;
    const std::filesystem::path folder = WorkingFolder();
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const bool result =
            name == "last-run.json" || (name.rfind("run-", 0) == 0 && name.size() > 9 &&
                                        name.compare(name.size() - 5, 5, ".json") == 0);
        // Links and other planted entries are no run's result.
        if (!result || !entry.is_regular_file(error) || entry.is_symlink(error)) continue;
        std::string content = ReadFileBytes(entry.path());
        auto seen = resultsSeen_.find(name);
        if (seen != resultsSeen_.end() && seen->second == content) continue;
        const std::filesystem::path kept =
            root_ / "results-kept" / (std::to_string(resultsKept_.size()) + "-" + name);
        std::filesystem::create_directories(kept.parent_path());
        std::ofstream(kept, std::ios::binary) << content;
        resultsKept_.push_back(kept);
        resultsSeen_[name] = std::move(content);
    }
}

void UpdaterSandbox::CheckKeptResults() const {
    if (resultsKept_.empty()) return;
    std::string command =
        "python3 '" OVN_SOURCE_DIR "/tests/host/check_results.py' '" OVN_SOURCE_DIR
        "/docs/last-run.schema.json'";
    for (const std::filesystem::path& kept : resultsKept_) command += " '" + kept.string() + "'";
    const std::filesystem::path report = root_ / "results-kept" / "report.txt";
    command += " > '" + report.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    if (status != 0) {
        ADD_FAILURE() << "result files that do not match docs/last-run.schema.json:\n"
                      << ReadFileBytes(report);
    }
}

void UpdaterSandbox::UseStateDirectory(const std::string& name) {
    stateDirectory_ = root_ / name;
    std::filesystem::create_directories(stateDirectory_);
    environment_["OVN_SIM_STATE"] = stateDirectory_.string();
}

void UpdaterSandbox::UseMachine(const std::string& json) {
    std::string machine = json;
    // The run's fixed pauses (5 s before verifying, the suite's and the keeper's waits) would be
    // most of a whole run's time; a machine that names its own scale keeps it.
    if (machine.find("\"timeScale\"") == std::string::npos && machine.rfind('{', 0) == 0)
        machine.insert(1, "\"timeScale\": " + std::to_string(kWholeRunTimeScale) + ", ");
    environment_["OVN_SIM_MACHINE"] = WriteFile("machine.json", machine).string();
}

void UpdaterSandbox::SetEnvironment(const std::string& name, const std::string& value) {
    environment_[name] = value;
}

std::filesystem::path UpdaterSandbox::LogFile() const {
    return StateDirectory() / "Users" / "User" / "AppData" / "Local" / "Orvane" /
           "OvnK740FpgaUpdater" / "OvnK740FpgaUpdater.log";
}

std::string UpdaterSandbox::LogBytes() const { return ReadFileBytes(LogFile()); }

std::filesystem::path UpdaterSandbox::WriteFile(const std::string& name,
                                                const std::string& bytes) const {
    std::filesystem::path path = root_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

namespace {

tagChild Start(const std::filesystem::path& root, const std::filesystem::path& workingDirectory,
               const std::map<std::string, std::string>& environment, const std::string& program,
               const std::string& argv0, const std::vector<std::string>& args,
               const std::string& input, bool holdInput = false) {
    tagChild child;
    static std::atomic<int> runCounter{0};
    const std::string tag = std::to_string(runCounter++);
    const std::filesystem::path in = root / ("stdin-" + tag);
    child.out = root / ("stdout-" + tag);
    child.err = root / ("stderr-" + tag);
    if (holdInput) {
        mkfifo(in.c_str(), 0600);
    } else {
        std::ofstream(in, std::ios::binary) << input;
    }

    std::vector<std::string> argvStrings{argv0};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("OVN_SIM_", 0) == 0 || entry.rfind("LOCALAPPDATA=", 0) == 0 ||
            entry.rfind("TMPDIR=", 0) == 0 || entry.rfind("programfiles", 0) == 0)
            continue;
        envStrings.push_back(entry);
    }
    for (const auto& [name, value] : environment) envStrings.push_back(name + "=" + value);

    child.pid = fork();
    if (child.pid == 0) {
        // A group of its own: a simulated power cut kills the updater with its children, never
        // the test.
        setpgid(0, 0);
        int inFd = open(in.c_str(), O_RDONLY);
        int outFd = open(child.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = open(child.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(inFd, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        if (chdir(workingDirectory.c_str()) != 0) _exit(126);
        std::vector<char*> argv, envp;
        for (auto& s : argvStrings) argv.push_back(s.data());
        argv.push_back(nullptr);
        for (auto& s : envStrings) envp.push_back(s.data());
        envp.push_back(nullptr);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    if (child.pid < 0) throw std::runtime_error("fork failed");
    if (holdInput) {
        child.heldInput = open(in.c_str(), O_WRONLY);
        if (!input.empty() && write(child.heldInput, input.data(), input.size()) < 0)
            throw std::runtime_error("write to the FIFO failed");
    }
    return child;
}

tagUpdaterRun Collect(const tagChild& child, int status) {
    tagUpdaterRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.console = ReadFileBytes(child.out);
    run.errors = ReadFileBytes(child.err);
    // A sanitizer's report in the child would otherwise show only as an odd exit code.
    if (run.errors.find("Sanitizer") != std::string::npos) std::fputs(run.errors.c_str(), stderr);
    return run;
}

tagUpdaterRun Finish(const tagChild& child) {
    int status = 0;
    waitpid(child.pid, &status, 0);
    if (child.heldInput >= 0) close(child.heldInput);
    return Collect(child, status);
}

}  // namespace

tagUpdaterRun UpdaterSandbox::Run(const std::vector<std::string>& args,
                                  const std::string& input) const {
    tagUpdaterRun run =
        Finish(Start(root_, workingDirectory_.empty() ? programDirectory_ : workingDirectory_,
                     environment_, program_, argv0_, args, input));
    KeepNewResults();
    return run;
}

tagUpdaterRun UpdaterSandbox::RestartAndLogon(const std::string& input) const {
    static std::atomic<int> logonCounter{0};
    const std::filesystem::path in = root_ / ("logon-in-" + std::to_string(logonCounter));
    const std::filesystem::path out = root_ / ("logon-out-" + std::to_string(logonCounter++));
    std::ofstream(in, std::ios::binary) << input;
    tagUpdaterRun run = Finish(Start(root_, root_, environment_, OVN_SIM_RESTART_PATH,
                                     OVN_SIM_RESTART_PATH, {in.string(), out.string()}, ""));
    run.console = ReadFileBytes(out);
    KeepNewResults();
    return run;
}

tagUpdaterRun UpdaterSandbox::RunAndActAt(const std::vector<std::string>& args,
                                          const std::string& marker,
                                          const std::function<void()>& act,
                                          const std::string& input) const {
    tagChild child = Start(root_, workingDirectory_.empty() ? programDirectory_ : workingDirectory_,
                           environment_, program_, argv0_, args, "", true);
    for (;;) {
        if (ReadFileBytes(child.out).find(marker) != std::string::npos) break;
        int status = 0;
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            close(child.heldInput);
            KeepNewResults();
            return Collect(child, status);  // ended before it reached the marker
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    act();
    if (!input.empty() && write(child.heldInput, input.data(), input.size()) < 0)
        throw std::runtime_error("write to the FIFO failed");
    tagUpdaterRun run = Finish(child);
    KeepNewResults();
    return run;
}

tagUpdaterRun UpdaterSandbox::RunAndInterruptWhen(
    const std::vector<std::string>& args, const std::function<bool(const std::string&)>& ready,
    const std::string& input, const std::function<void()>& meanwhile) const {
    tagChild child = Start(root_, workingDirectory_.empty() ? programDirectory_ : workingDirectory_,
                           environment_, program_, argv0_, args, input, holdInput_);
    for (;;) {
        if (ready(ReadFileBytes(child.out))) {
            if (meanwhile) meanwhile();
            kill(child.pid, SIGINT);
            tagUpdaterRun run = Finish(child);
            run.interruptedWhenReady = true;
            KeepNewResults();
            return run;
        }
        int status = 0;
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            if (child.heldInput >= 0) close(child.heldInput);
            KeepNewResults();
            return Collect(child, status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

tagUpdaterRun UpdaterSandbox::RunAndInterrupt(const std::vector<std::string>& args,
                                              const std::string& marker,
                                              const std::string& input) const {
    return RunAndInterruptWhen(
        args, [&marker](const std::string& out) { return out.find(marker) != std::string::npos; },
        input);
}
