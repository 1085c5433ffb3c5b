// The display driver's cycle within one run: tool and suite prepared, driver off, the restart for
// disabling, the driver back with the restart at the end, and a resumed run that has no image.
#pragma once

#include <cstdint>
#include <string>

#include "app/child_runner.h"
#include "app/display_driver.h"

class CCmdLine;
struct tagRunResources;

// Owned by the update run for its whole length (the extracted tool stays held until it goes);
// main thread only. The flags move only from false to true.
class CDriverCycle {
public:
    // The admin-only folder Prepare opened (ends in the path separator); empty when there is none.
    const std::wstring& WorkingFolder() const { return workingFolder_; }
    explicit CDriverCycle(tagWaitClock clock = ProcessWaitClock());

    // The working folder, the paths in it, the command lines, the output pipe and the tool written
    // out there.
    void Prepare();

    // A resumed run's image must be the one its restart recorded. True for any other run and for
    // a matching image; false (said on the console and in the log) for an image that differs.
    bool ImageIsTheRecordedOne(const char* fileName, const std::uint8_t* image,
                               std::int32_t imageSize);

    // With the tool and an image: asks whether a display driver is installed and, if so, saves or
    // restores the suite's settings, closes the suite, disables the driver, closes the suite again.
    void SwitchDriverOff(std::int32_t imageSize);

    bool DisableNeedsRestart() const { return disableNeedsRestart_; }
    bool DriverDisabled() const { return driverDisabled_; }

    // The disable asked for a restart: under --noreboot exit code 3; otherwise the prompt, and on
    // yes the copies for the resume made in the working folder, the resume registered, "Config"
    // stored and the restart requested. Copies that cannot be made end it as a no does.
    // Returns the exit code.
    std::int32_t RestartForDisable(const CCmdLine& options, tagRunResources& run,
                                   std::int32_t exitCode);

    // After the update (or its refusal at the warning prompt): enables a disabled driver, then
    // restarts with the suite's import registered, or under --noreboot returns exit code 4.
    std::int32_t BringDriverBack(const CCmdLine& options, bool aborted, std::int32_t exitCode);

    // A resumed run ("Config" or the image's hash stored, a display driver present) without a
    // usable image: enables the driver the restart disabled, restores the settings file and
    // registers its import, tidies up and says that nothing was programmed. False when the run is
    // no such run.
    bool RecoverResumedRunWithoutImage();

    // The registry values of the cycle, the copies for the resume and their hash go.
    void Tidy();

private:
    // The enable after a declined restart or one that cannot be prepared.
    std::int32_t AbortRestart(tagRunResources& run, std::int32_t exitCode);

    std::wstring workingFolder_;
    CChildRunner runner_;
    CDeviceConsoleTool tool_{std::wstring()};
    std::wstring settingsFile_;
    std::wstring exportCommandLine_;
    std::wstring importCommandLine_;
    bool driverPresent_ = false;
    bool driverDisabled_ = false;
    bool disableNeedsRestart_ = false;
    bool restartAtEnd_ = false;
};
