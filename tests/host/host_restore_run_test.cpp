// Whole runs of the host edition that must leave the host as they found it: the terminal after
// Ctrl+C at a prompt, and a simulated host whose state cannot be used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "simhost/host_state.h"
#include "tests/host/updater_process.h"

namespace {

// A pseudo-terminal whose slave side is the updater's standard input, as an operator's console.
class CTerminal {
public:
    CTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slaveName_ = ptsname(master_);
        slave_ = open(slaveName_.c_str(), O_RDWR | O_NOCTTY);
    }
    ~CTerminal() {
        if (slave_ >= 0) close(slave_);
        if (master_ >= 0) close(master_);
    }
    bool Usable() const { return slave_ >= 0; }
    const std::string& SlaveName() const { return slaveName_; }
    termios Mode() const {
        termios mode{};
        tcgetattr(slave_, &mode);
        return mode;
    }
    bool Echoes() const { return (Mode().c_lflag & (ECHO | ICANON)) == (ECHO | ICANON); }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
};

// Starts the updater of the sandbox with the terminal as standard input and `console` as standard
// output; returns its process id.
pid_t StartOnTerminal(const UpdaterSandbox& box, const CTerminal& terminal,
                      const std::vector<std::string>& args, const std::string& console) {
    std::vector<std::string> argvStrings{OVN_UPDATER_PATH};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("OVN_SIM_", 0) == 0 || entry.rfind("LOCALAPPDATA=", 0) == 0) continue;
        envStrings.push_back(entry);
    }
    envStrings.push_back("OVN_SIM_STATE=" + box.StateDirectory().string());
    envStrings.push_back("LOCALAPPDATA=" + (box.Root() / "appdata").string());
    std::vector<char*> argv, envp;
    for (auto& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int in = open(terminal.SlaveName().c_str(), O_RDWR);
        const int out = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

int WaitForExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

// The key prompt switches echo and line editing off; Ctrl+C there ends the run from another
// thread, which must switch them back on.
TEST(HostRestoreRun, CtrlCAtAPromptRestoresTheTerminal) {
    CTerminal terminal;
    if (!terminal.Usable()) GTEST_SKIP() << "no pseudo-terminal on this machine";
    ASSERT_TRUE(terminal.Echoes());
    UpdaterSandbox box;
    const pid_t pid = StartOnTerminal(box, terminal, {}, (box.Root() / "console").string());
    ASSERT_GT(pid, 0);
    // Waits for the prompt's key read itself, not for its text: only then is the mode changed.
    while (terminal.Echoes()) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << ReadFileBytes(box.Root() / "console");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGINT);
    EXPECT_EQ(WaitForExit(pid), 1);
    EXPECT_TRUE(terminal.Echoes());
    EXPECT_NE(ReadFileBytes(box.Root() / "console").find("Press any key to exit..."),
              std::string::npos);
}

// Wrong types in the simulated host's state file used to end the run with an abort.
TEST(HostRestoreRun, MalformedHostStateIsNamedAndTheRunGoesOn) {
    UpdaterSandbox box;
    const std::filesystem::path file = box.StateDirectory() / "host.json";
    std::ofstream(file) << R"({"power": "fast", "processes": 3, "sessions": ["one"],
                              "registry": {"32": {"SOFTWARE\\X": {"V": {"type": "sz"}}}}})";
    tagUpdaterRun run = box.Run({"-q"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.console.find("FPGA version: 1.3.0"), std::string::npos);
    EXPECT_NE(run.errors.find("simulated host state file '" + file.string() +
                              "': power: expected an object; read as absent"),
              std::string::npos)
        << run.errors;

    // The run's own changes replaced the damaged members: the next reader sees a clean document.
    setenv("OVN_SIM_STATE", box.StateDirectory().c_str(), 1);
    EXPECT_EQ(sim::host::AcMinProcessorState(), 5u);
    EXPECT_EQ(sim::host::AppliedMinProcessorState(), 5u);
    EXPECT_EQ(box.Run({"-q"}).errors, "");
}

TEST(HostRestoreRun, StateDirectoryThatCannotBeCreatedIsNamedNotRetried) {
    UpdaterSandbox box;
    box.WriteFile("plain-file", "not a directory");
    const std::filesystem::path state = box.Root() / "plain-file" / "state";
    box.SetEnvironment("OVN_SIM_STATE", state.string());
    tagUpdaterRun run = box.Run({"-q"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.console.find("FPGA version: 1.2.7"), std::string::npos);
    EXPECT_NE(run.errors.find("simulated host state directory '" + state.string() +
                              "': cannot be created: "),
              std::string::npos)
        << run.errors;
}
