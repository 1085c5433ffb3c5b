// Host services: what the update run changes on the machine, and how it is put back on every path.
#include "app/host/host_services.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/console_control.h"
#include "platform/power.h"
#include "platform/processes.h"
#include "platform/shutdown.h"

namespace {

constexpr wchar_t kCoreProcessName[] = L"Orvane.Plux.Core.exe";
constexpr wchar_t kCloseEventPrefix[] = L"Global\\OvnPluxCoreCloseEvent";
constexpr std::uint32_t kFullPowerPercent = 100;

// The handler takes the lock and keeps it until it ends the process: a second event waits on it for
// the first to end the process, so the clean-up runs once, and the host services cannot end while
// the handler uses them.
struct tagConsoleControlHost {
    std::mutex lock;
    CHostServices* host = nullptr;
    std::atomic<bool> handling{false};  // set under the lock by the event that ends the process
};
// Process-wide: the console-control handler, which the platform calls on a thread of its own and
// hands nothing, can reach the run's host services no other way.
tagConsoleControlHost consoleControl;

}  // namespace

void SetConsoleControlHost(CHostServices* host) {
    std::lock_guard<std::mutex> hold(consoleControl.lock);
    consoleControl.host = host;
}

bool OnConsoleControl(std::uint32_t) {
    // Ctrl+C pressed twice, or Ctrl+C followed by closing the window, must not run the clean-up
    // twice at once; the later event just waits here for the first to end the process.
    consoleControl.lock.lock();
    consoleControl.handling = true;
    if (CHostServices* host = consoleControl.host) host->EndOnConsoleControl();
    std::fflush(nullptr);
    std::_Exit(kConsoleControlExitCode);
}

CHostServices::~CHostServices() {
    {
        std::lock_guard<std::mutex> hold(consoleControl.lock);
        if (consoleControl.host == this) consoleControl.host = nullptr;
    }
    {
        std::lock_guard<std::mutex> hold(keeperLock_);
        consoleWindow = nullptr;
    }
    keeperWake_.notify_all();
    if (keeper_.joinable()) keeper_.join();
}

void CHostServices::WriteBackSavedPower() {
    if (!savedMinProcessorStateKnown.load()) return;
    // Putting back is all there is to do, on every path out and in the console-control handler:
    // a write the system refuses has nowhere to be reported and nothing to fall back on.
    (void)platform::PowerWriteAcMinProcessorState(activeScheme, savedMinProcessorState);
    (void)platform::PowerApplyScheme(activeScheme);
}

void CHostServices::Log(const wchar_t* message) {
    if (auto log = hostLog_.load()) log(message);
}

void CHostServices::PrepareHost(const tagPowerOrigin& origin) {
    // A console event already being handled ends the process: nothing is prepared for it, and the
    // lock it keeps is not waited for.
    if (consoleControl.handling.load()) return;
    SetConsoleControlHost(this);
    // A system that takes no handler leaves Ctrl+C to its default; nothing else could catch it,
    // and the run itself is no worse for it.
    (void)platform::RegisterConsoleControlHandler(&OnConsoleControl);
    // Both only help the run along (more processor, no sleep while it works); it programs as well
    // without them, so a refusal is left silent.
    (void)platform::SetProcessPriorityClass(platform::kHighPriorityClass);
    (void)platform::SetThreadExecutionState(
        platform::kEsContinuous | platform::kEsAwaymodeRequired | platform::kEsSystemRequired);
    std::lock_guard<std::mutex> hold(powerLock_);
    if (interrupted_) return;
    // Without a scheme every power call below fails and so changes nothing, as the run expects
    // on a machine that does not say.
    const auto scheme = platform::PowerGetActiveScheme();
    activeScheme = scheme ? *scheme : nullptr;
    const auto current = platform::PowerReadAcMinProcessorState(activeScheme);
    if (origin.journalled) {
        savedMinProcessorState = *origin.journalled;
    } else if (current) {
        savedMinProcessorState = *current;
        if (origin.record) origin.record(*current);
    } else {
        return;  // as the other platform failures here, silently
    }
    savedMinProcessorStateKnown = true;
    // Full power speeds the programming up and is not needed for it: a refusal is left silent.
    (void)platform::PowerWriteAcMinProcessorState(activeScheme, kFullPowerPercent);
    (void)platform::PowerApplyScheme(activeScheme);
}

void CHostServices::RestorePowerSettings() {
    std::lock_guard<std::mutex> hold(powerLock_);
    WriteBackSavedPower();
}

void CHostServices::EndOnConsoleControl() {
    {
        std::lock_guard<std::mutex> hold(powerLock_);
        interrupted_ = true;
        WriteBackSavedPower();
    }
    if (auto routine = cleanupRoutine_.load()) routine(this, true);
    std::fflush(nullptr);
    // No static destructors and no atexit handlers: worker threads may still be running over the
    // process-wide objects, and ending without tearing them down is what keeps that safe.
    std::_Exit(kConsoleControlExitCode);
}

void CHostServices::SetCleanupRoutine(HostCleanupRoutine routine) { cleanupRoutine_ = routine; }

void CHostServices::SetHostServicesLog(void (*log)(const wchar_t* message)) { hostLog_ = log; }

void SleepMilliseconds(std::uint32_t milliseconds) { platform::PauseThread(milliseconds); }

void CHostServices::KeepConsoleInFront() {
    KeepConsoleInFrontWith([this](std::uint32_t milliseconds) {
        std::unique_lock<std::mutex> hold(keeperLock_);
        keeperWake_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                             [this] { return consoleWindow.load() == nullptr; });
    });
}

void CHostServices::StartKeepingConsoleInFront(void* window) {
    consoleWindow = window;
    keeper_ = std::thread([this] { KeepConsoleInFront(); });
}

void CHostServices::KeepConsoleInFrontWith(const HostPause& pause) {
    while (consoleWindow.load() != nullptr) {
        pause(kKeepInFrontMilliseconds);
        void* window = consoleWindow.load();
        // The next pass tries again; a window the system keeps back is no reason to stop.
        if (window) (void)platform::BringWindowToFront(window);
    }
}

void SignalDesktopCoreClose() {
    auto sessions = platform::EnumerateSessions();
    if (!sessions) return;
    for (std::uint32_t session : *sessions) {
        wchar_t name[64];
        std::swprintf(name, 64, L"%ls_%d", kCloseEventPrefix, static_cast<int>(session));
        // Most sessions have no desktop core and so no event: not being found is the usual answer.
        (void)platform::SignalNamedEvent(name);
    }
}

void CHostServices::TerminateDesktopCore(unsigned passLimit, const HostPause& pause) {
    for (unsigned pass = 1;; ++pass) {
        bool found = false;
        // No snapshot finds no desktop core: the run goes on as when none is running.
        const auto processes = platform::ProcessSnapshot();
        for (const auto& process : processes ? *processes : std::vector<platform::ProcessEntry>()) {
            if (process.exeName != kCoreProcessName) continue;
            found = true;
            // The next pass's snapshot tells whether it ended, and the pass limit says when to
            // stop trying.
            (void)platform::TerminateProcessById(process.id, 0);
        }
        pause(kDesktopCorePassMilliseconds);
        if (!found) return;
        if (pass >= passLimit) {
            wchar_t message[128];
            std::swprintf(message, 128, L"   %ls could not be terminated after %u attempts.\n",
                          kCoreProcessName, passLimit);
            Log(message);
            return;
        }
    }
}

std::uint32_t CHostServices::RebootNow() {
    consoleWindow = nullptr;
    rebootStarted = true;
    RestorePowerSettings();
    // Without the privilege the request below fails, and its error is the one the operator needs.
    (void)platform::EnableShutdownPrivilege();
    const auto requested = platform::RequestShutdown(0, true, true);
    const std::uint32_t error = requested ? 0 : requested.error().code;
    if (error != 0) rebootStarted = false;
    return error;
}
