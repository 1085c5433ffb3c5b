// Console control on the host edition: SIGINT, SIGTERM and SIGHUP taken by one thread that runs the
// handlers.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <thread>
#include <vector>

#include "platform/console_control.h"
#include "platform/terminal_mode_posix.h"

namespace platform {

namespace {

using Handler = bool (*)(std::uint32_t);

// Process-wide: console events are the process's, and the handlers run from the platform's own
// thread, which is handed nothing.
std::mutex handlersLock;
// Process-wide, under handlersLock, for the same reason.
std::vector<Handler> handlers;
// Process-wide, under handlersLock: the one signal listener of the process has been started.
bool listenerStarted = false;

sigset_t ControlSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

std::uint32_t ControlTypeOf(int signal) {
    switch (signal) {
        case SIGINT:
            return kCtrlCEvent;
        case SIGHUP:
            return kCtrlCloseEvent;
        default:
            return kCtrlShutdownEvent;
    }
}

// Nobody handled the event: end the process as the signal would have without handlers.
[[noreturn]] void DefaultAction(int signal) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::signal(signal, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

// Each event gets a thread of its own, as on Windows, so a handler that never returns (it ends the
// process) does not keep a second event from being seen.
void Dispatch(int signal) {
    // Handlers end the process: a prompt's unechoed terminal mode must not outlive it.
    EndTerminalKeyMode();
    std::vector<Handler> current;
    {
        std::lock_guard<std::mutex> guard(handlersLock);
        current = handlers;
    }
    for (auto it = current.rbegin(); it != current.rend(); ++it) {
        if ((*it)(ControlTypeOf(signal))) return;
    }
    DefaultAction(signal);
}

void Listen() {
    sigset_t set = ControlSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        std::thread(Dispatch, signal).detach();
    }
}

}  // namespace

ovn::Status RegisterConsoleControlHandler(bool (*handler)(std::uint32_t controlType)) {
    std::lock_guard<std::mutex> guard(handlersLock);
    handlers.push_back(handler);
    if (listenerStarted) return ovn::Ok();
    // Threads inherit the mask: every thread started from here on leaves these signals to sigwait.
    sigset_t set = ControlSignals();
    const int blocked = pthread_sigmask(SIG_BLOCK, &set, nullptr);
    if (blocked != 0) return ovn::CallError("pthread_sigmask", static_cast<std::uint32_t>(blocked));
    std::thread(Listen).detach();
    listenerStarted = true;
    return ovn::Ok();
}

}  // namespace platform
