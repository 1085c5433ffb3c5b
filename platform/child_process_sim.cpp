// Child processes of the host edition: real processes through posix_spawn, output into one pipe.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "base/posix_descriptor.h"
#include "platform/child_process.h"
#include "platform/command_line.h"
#include "sim/late_writes.h"
#include "simhost/host_records.h"
#include "text/text_encoding.h"

extern char** environ;

namespace platform {

namespace {

using Descriptor = ovn::ScopedDescriptor;

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

struct ChildOutputPipe::Ends {
    Descriptor read;
    Descriptor write;
};

ChildOutputPipe::ChildOutputPipe() : ends_(std::make_unique<Ends>()) {
    int fds[2];
    // Both ends close on exec: a child receives the write end only as its output and error.
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = ovn::CallError("pipe2", static_cast<std::uint32_t>(errno));
        return;
    }
    ends_->read.reset(fds[0]);
    ends_->write.reset(fds[1]);
    if (fcntl(fds[0], F_SETFL, O_NONBLOCK) != 0)
        error_ = ovn::CallError("fcntl", static_cast<std::uint32_t>(errno));
}

ChildOutputPipe::~ChildOutputPipe() = default;

ovn::Status ChildOutputPipe::Valid() const {
    if (ends_->read.valid() && error_.call.empty()) return ovn::Ok();
    return error_;
}

std::size_t ChildOutputPipe::ReadAvailable(void* buffer, std::size_t maxBytes) {
    if (!Valid().ok() || maxBytes == 0) return 0;
    const ssize_t got = read(ends_->read.get(), buffer, maxBytes);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void ChildOutputPipe::Discard() {
    char scratch[4096];
    while (ReadAvailable(scratch, sizeof scratch) > 0) {
    }
}

struct ChildProcess::Handles {
    pid_t pid = -1;
    bool reaped = false;
    std::optional<std::uint32_t> exitCode;
};

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

// A child that outlives its object is left running, as on Windows; the process's end reaps it.
ChildProcess::~ChildProcess() = default;

ovn::Result<std::unique_ptr<ChildProcess>> ChildProcess::Start(const std::wstring& commandLine,
                                                               ChildOutputPipe& pipe) {
    sim::host::RecordChildCommand(commandLine);
    if (commandLine.find(L" enable ") != std::wstring::npos) sim::NoteDisplayEnableStarted();
    if (!pipe.Valid().ok()) {
        return ovn::CallError("posix_spawn (no pipe)", EBADF);
    }
    std::string program;
    std::vector<std::wstring> arguments;
    for (const ProgramCandidate& candidate : ProgramCandidates(commandLine)) {
        const std::string path = WideToUtf8(candidate.program);
        if (!IsExecutableFile(path)) continue;
        program = path;
        arguments = SplitArguments(candidate.rest);
        break;
    }
    if (program.empty()) {
        return ovn::CallError("posix_spawn (program not found)", ENOENT);
    }
    std::vector<std::string> argvStrings{program};
    for (const std::wstring& argument : arguments) argvStrings.push_back(WideToUtf8(argument));
    std::vector<char*> argv;
    for (std::string& text : argvStrings) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe.ends().write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe.ends().write.get(), STDERR_FILENO);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        return ovn::CallError("posix_spawn", static_cast<std::uint32_t>(result));
    }
    auto handles = std::make_unique<Handles>();
    handles->pid = pid;
    return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

// A child that is no longer ours to wait for counts as ended: its code cannot be had.
ovn::Result<bool> ChildProcess::WaitMilliseconds(std::uint32_t milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!handles_->reaped) {
        int status = 0;
        const pid_t done = waitpid(handles_->pid, &status, WNOHANG);
        if (done == handles_->pid) {
            handles_->reaped = true;
            if (WIFEXITED(status))
                handles_->exitCode = static_cast<std::uint32_t>(WEXITSTATUS(status));
            break;
        }
        if (done < 0) {
            handles_->reaped = true;  // no longer ours to wait for: its code cannot be had
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

ovn::Result<std::uint32_t> ChildProcess::ExitCode() {
    const auto ended = HasEnded();
    if (!ended) return ended.error();
    if (!*ended) return ovn::CallError("waitpid", kChildStillActive);
    // Ended by a signal, or reaped by someone else: no call failed, yet there is no code.
    if (!handles_->exitCode) return ovn::CallError("waitpid", 0);
    return *handles_->exitCode;
}

ovn::Status ChildProcess::Terminate() {
    if (handles_->reaped) return ovn::Ok();
    ovn::Status terminated = ovn::Ok();
    if (kill(handles_->pid, SIGKILL) != 0)
        terminated = ovn::CallError("kill", static_cast<std::uint32_t>(errno));
    // Also when it was refused: a child that is ending already ends by itself.
    for (;;) {
        const auto ended = WaitMilliseconds(1000);
        if (!ended || *ended) break;
    }
    return terminated;
}

}  // namespace platform
