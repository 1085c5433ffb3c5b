// The simulated restart and logon: pending device changes applied, run-once entries run and
// deleted.
#include "testing/sim_logon/simulated_logon.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/command_line.h"
#include "simhost/host_records.h"
#include "simhost/host_registry.h"
#include "simhost/host_restart.h"
#include "text/text_encoding.h"

extern char** environ;

namespace {

constexpr const wchar_t* kRunOnceKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

int RunAndWait(const std::wstring& commandLine, const tagLogonStreams& streams) {
    for (const platform::ProgramCandidate& candidate : platform::ProgramCandidates(commandLine)) {
        const std::string program = WideToUtf8(candidate.program);
        struct stat info {};
        if (stat(program.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        std::vector<std::string> strings{program};
        for (const std::wstring& argument : platform::SplitArguments(candidate.rest))
            strings.push_back(WideToUtf8(argument));
        std::vector<char*> argv;
        for (std::string& text : strings) argv.push_back(text.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string input = streams.input.empty() ? "/dev/null" : streams.input;
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
        if (!streams.output.empty()) {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, streams.output.c_str(),
                                             O_WRONLY | O_CREAT | O_APPEND, 0644);
            posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        }
        pid_t pid = -1;
        const int started =
            posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (started != 0) return -1;
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return -1;
}

}  // namespace

std::vector<tagRunOnceResult> SimulateRestartAndLogon(const tagLogonStreams& streams) {
    sim::host::SimulateRestart();
    sim::host::RecordLogon();
    std::vector<tagRunOnceResult> results;
    for (auto view : {sim::host::RegistryView::k64, sim::host::RegistryView::k32}) {
        for (const std::wstring& name : sim::host::RegistryValueNames(view, kRunOnceKey)) {
            auto commandLine = sim::host::RegistryGetString(view, kRunOnceKey, name);
            // A plain value is deleted before it runs, so a program that registers itself again
            // runs next time. A value named with '!' first is deleted only once its command has
            // ended: one that is cut short (power lost) runs again at the next logon, and one that
            // registers the same name again loses that entry.
            const bool deleteAfterRun = !name.empty() && name[0] == L'!';
            if (!deleteAfterRun) sim::host::RegistryDeleteValue(view, kRunOnceKey, name);
            if (!commandLine) continue;
            results.push_back({*commandLine, RunAndWait(*commandLine, streams)});
            if (deleteAfterRun) sim::host::RegistryDeleteValue(view, kRunOnceKey, name);
        }
    }
    return results;
}
