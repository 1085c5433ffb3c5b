// Host services of the update run: power setting, keep-awake, console control, console in front,
// closing the desktop manager's core, restart.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Where the original minimum processor state comes from. A run that was cut off left the setting
// raised and its original in the journal: that value is the original, not what the scheme says
// now. record receives the original before the raise, so that a cut-off run leaves it behind.
struct tagPowerOrigin {
    std::optional<std::uint32_t> journalled;
    std::function<void(std::uint32_t original)> record;
};

// A pause of the host services, in milliseconds. The run's pauses sleep (SleepMilliseconds); tests
// pass their own to see the lengths asked for without waiting for them.
using HostPause = std::function<void(std::uint32_t milliseconds)>;
void SleepMilliseconds(std::uint32_t milliseconds);

// The exit code of a run ended by a console event (Ctrl+C, Ctrl+Break, the window closed).
inline constexpr std::int32_t kConsoleControlExitCode = 1;

constexpr std::uint32_t kKeepInFrontMilliseconds = 200;
constexpr unsigned kDesktopCorePassLimit = 15;
constexpr std::uint32_t kDesktopCorePassMilliseconds = 2000;

class CHostServices;

// The update run's clean-up routine. From OnConsoleControl it is called with true while worker
// threads may still run: it must then leave alone whatever they use (the process ends right after).
using HostCleanupRoutine = void (*)(CHostServices* host, bool fromConsoleControl);

// What the update run changes on the host and must put back, with the operations that change it.
// The run's context owns one; OnConsoleControl reaches it through the console-control host
// (SetConsoleControlHost), which PrepareHost sets.
class CHostServices {
public:
    CHostServices() = default;
    // No longer reachable from OnConsoleControl (a console event already being handled ends the
    // process first); ends the keep-in-front thread and waits for it.
    ~CHostServices();
    CHostServices(const CHostServices&) = delete;
    CHostServices& operator=(const CHostServices&) = delete;

    // Makes this the console-control host, registers OnConsoleControl, raises the priority, keeps
    // the machine awake, saves the minimum processor state and raises it to 100 percent. Call it
    // before any other thread starts. The save and the raise are ordered with OnConsoleControl's
    // restore: the handler never reads half-saved values, and once it has restored the setting
    // nothing raises it again. When the original can be neither read nor taken from the journal,
    // the setting is left alone (nothing could put it back).
    void PrepareHost(const tagPowerOrigin& origin = {});

    // Writes the saved minimum processor state back and applies the scheme again (nothing when the
    // original is not known).
    void RestorePowerSettings();

    // OnConsoleControl's work on this host: restores the power setting, runs the clean-up routine
    // with true and ends the process with kConsoleControlExitCode. Never returns.
    [[noreturn]] void EndOnConsoleControl();

    void SetCleanupRoutine(HostCleanupRoutine routine);

    // Receives the messages of the host services for the console and the log (PrintAndLog).
    void SetHostServicesLog(void (*log)(const wchar_t* message));

    // Thread body: brings the console window to the front every 200 ms until consoleWindow is
    // null.
    void KeepConsoleInFront();
    void KeepConsoleInFrontWith(const HostPause& pause);
    // Sets consoleWindow and runs KeepConsoleInFront on a thread of its own, which the end of these
    // host services waits for (it reads consoleWindow until then).
    void StartKeepingConsoleInFront(void* window);

    // Terminates every "Orvane.Plux.Core.exe", pass after pass (each followed by a 2-second pause)
    // until a pass finds none. After passLimit passes that all found one it gives up and says so
    // through the log.
    void TerminateDesktopCore(unsigned passLimit = kDesktopCorePassLimit,
                              const HostPause& pause = SleepMilliseconds);

    // Stops the keep-in-front thread, sets rebootStarted, restores the power setting and asks for
    // an immediate forced restart. Returns to the caller: 0 when the restart was taken, otherwise
    // the system's error code (rebootStarted is then cleared again, so the run ends as without a
    // restart).
    std::uint32_t RebootNow();

    // The active power scheme as the platform returned it at start (opaque; never freed), or null.
    void* activeScheme = nullptr;
    // The scheme's AC minimum processor state read at start (or kept by a lost run); 0 until read.
    std::uint32_t savedMinProcessorState = 0;
    // Whether savedMinProcessorState holds the original: without it nothing is raised or written
    // back.
    std::atomic<bool> savedMinProcessorStateKnown{false};
    // The console window; the keep-in-front thread runs while it is non-null.
    std::atomic<void*> consoleWindow{nullptr};
    // Set by RebootNow; the run then skips its closing key prompt.
    std::atomic<bool> rebootStarted{false};

private:
    // Called with powerLock_ held.
    void WriteBackSavedPower();
    void Log(const wchar_t* message);

    // The power values are saved and raised on the run's thread while the console-control handler
    // may already restore them on its own: one lock orders the two, so the handler never reads
    // half-saved values and a raise never lands after a restore.
    std::mutex powerLock_;
    bool interrupted_ = false;  // the handler has put the setting back: it is never raised again
    std::atomic<HostCleanupRoutine> cleanupRoutine_{nullptr};
    std::atomic<void (*)(const wchar_t*)> hostLog_{nullptr};
    // The keeper's pause ends early when these host services end, so that their end (and so the
    // run's) never waits out the rest of a 200 ms pass.
    std::mutex keeperLock_;
    std::condition_variable keeperWake_;
    std::thread keeper_;
};

// The console-control host: the one host services object OnConsoleControl works on. The handler
// runs on a thread of its own and the platform hands it nothing, so this pointer is how it reaches
// the run's host services; PrepareHost sets it, the object's end clears it. Null: a console event
// just ends the process with kConsoleControlExitCode.
void SetConsoleControlHost(CHostServices* host);

// The handler registered with the platform: the console-control host's EndOnConsoleControl.
// Never returns. A second event arriving meanwhile waits for the first one to end the process, so
// the clean-up routine runs once.
bool OnConsoleControl(std::uint32_t controlType);

// Signals the desktop manager's core close event in every session that has one.
void SignalDesktopCoreClose();
