// The display driver's cycle within one run, in the order the update run calls it.
#include "app/driver_cycle.h"

#include "app/cmdline.h"
#include "app/console_log.h"
#include "app/cycle_log.h"
#include "app/desktop_settings.h"
#include "app/key_prompts.h"
#include "app/reboot_resume.h"
#include "app/run_resources.h"
#include "hwaccess/host_services.h"
#include "platform/environment.h"
#include "platform/process_identity.h"
#include "xsvf/jtag_port.h"

CDriverCycle::CDriverCycle(std::wstring programDirectory, tagWaitClock clock)
    : programDirectory_(std::move(programDirectory)), runner_(std::move(clock)) {}

void CDriverCycle::Prepare() {
    const bool underWow64 = platform::RunningUnderWow64();
    const std::wstring temporary = platform::TemporaryDirectory();
    settingsFile_ = SettingsFilePath(temporary);
    const std::wstring suite = SuiteDirectory();
    exportCommandLine_ = SuiteExportCommandLine(suite, settingsFile_);
    importCommandLine_ = SuiteImportCommandLine(suite, settingsFile_);
    tool_ = CDeviceConsoleTool(ToolPath(temporary));
    if (auto image = platform::ModuleResource(ToolResourceName(underWow64)))
        tool_.Extract(std::move(*image));
}

void CDriverCycle::SwitchDriverOff(std::int32_t imageSize) {
    if (!tool_.Extracted() || imageSize <= 0) return;
    if (!tool_.QueryDisplayDriver(runner_)) return;
    driverPresent_ = true;
    SaveOrRestoreSettings(runner_, exportCommandLine_, settingsFile_);
    if (tool_.Disable(runner_) == 0) {
        driverDisabled_ = true;
    } else {
        disableNeedsRestart_ = true;
    }
    CloseDesktopSuite();
}

std::int32_t CDriverCycle::RestartForDisable(const CCmdLine& options, tagRunResources& run,
                                             std::int32_t exitCode) {
    if (options.noReboot) {
        PrintAndLog(
            L"\n\n   For the display driver to be enabled, your system must be restarted.\n");
        return 3;
    }
    PrintAndLog(
        L"\n\n   For the display driver to be disabled, your system must be restarted.\n"
        L"   Your system and OvnK740FPGAUpdater will be restarted now.\n");
    if (!options.quiet && !ConfirmToContinue()) {
        for (std::uint32_t i = 0; i < run.cardCount; ++i) closeJtagPort(&run.records[i], 0);
        tool_.Enable(runner_);
        PrintAndLog(L"   Update aborted.\n\n");
        return exitCode;
    }
    RegisterRunOnce(ResumeCommandLine(platform::ProcessCommandLine(), programDirectory_));
    StoreSettingsInRegistry(settingsFile_);
    LogRestartRequest(L"to disable the display driver", RebootNow());
    return exitCode;
}

std::int32_t CDriverCycle::BringDriverBack(const CCmdLine& options, bool aborted,
                                           std::int32_t exitCode) {
    if (driverDisabled_) {
        tool_.Enable(runner_);
        restartAtEnd_ = true;
    }
    if (aborted || !restartAtEnd_) return exitCode;
    if (options.noReboot) {
        PrintAndLog(
            L"\n\n   Enabling the graphics driver requires a reboot.\n   You must reboot the "
            L"computer to complete the update process.\n");
        return 4;
    }
    TerminateDesktopCore();
    RegisterRunOnce(importCommandLine_);
    LogRestartRequest(L"after enabling the display driver", RebootNow());
    return exitCode;
}

bool CDriverCycle::RecoverResumedRunWithoutImage() {
    if (!tool_.Extracted() || !SettingsCopyStored()) return false;
    if (!tool_.QueryDisplayDriver(runner_)) return false;
    const std::uint32_t enabled = tool_.Enable(runner_);
    LogSettingsRestored(settingsFile_, RestoreSettingsFromRegistry(settingsFile_));
    RegisterRunOnce(importCommandLine_);
    TidyRegistry();
    PrintAndLog(
        L"\n   No usable XSVF file: nothing was programmed, and the display driver is enabled "
        L"again.\n");
    if (enabled != 0) {
        PrintAndLog(L"   You must restart the computer to complete enabling the display driver.\n");
    }
    return true;
}
