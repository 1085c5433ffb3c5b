// The display driver's cycle within one run, in the order the update run calls it.
#include "app/driver_cycle.h"

#include "app/cmdline.h"
#include "app/console_log.h"
#include "app/cycle_log.h"
#include "app/desktop_settings.h"
#include "app/key_prompts.h"
#include "app/reboot_resume.h"
#include "app/resume_copies.h"
#include "app/run_resources.h"
#include "app/working_folder.h"
#include "hwaccess/host_services.h"
#include "platform/process_identity.h"
#include "platform/text_encoding.h"
#include "xsvf/jtag_port.h"

CDriverCycle::CDriverCycle(tagWaitClock clock) : runner_(std::move(clock)) {}

void CDriverCycle::Prepare() {
    const bool underWow64 = platform::RunningUnderWow64();
    // Everything the run writes and later reads or starts lives in the admin-only folder; without
    // it the run goes on as without a temporary directory.
    workingFolder_ = OpenWorkingFolder();
    settingsFile_ = SettingsFilePath(workingFolder_);
    const std::wstring suite = SuiteDirectory();
    exportCommandLine_ = SuiteExportCommandLine(suite, settingsFile_);
    importCommandLine_ = SuiteImportCommandLine(suite, settingsFile_);
    tool_ = CDeviceConsoleTool(ToolPath(workingFolder_));
    if (auto image = platform::ModuleResource(ToolResourceName(underWow64)))
        tool_.Extract(std::move(*image));
}

bool CDriverCycle::ImageIsTheRecordedOne(const char* fileName, const std::uint8_t* image,
                                         std::int32_t imageSize) {
    if (fileName == nullptr || imageSize <= 0) return true;
    std::wstring recorded, found;
    const ResumeImageCheck check =
        CheckResumeImage(workingFolder_, Utf8ToWide(fileName), image,
                         static_cast<std::size_t>(imageSize), recorded, found);
    if (check != ResumeImageCheck::kDiffers) return true;
    PrintAndLog(
        L"   Error: The XSVF file %ls is not the one the update was started with before the "
        L"restart (SHA-256 %ls recorded, %ls found).\n   No card will be programmed.\n",
        Utf8ToWide(fileName).c_str(), recorded.empty() ? L"none" : recorded.c_str(), found.c_str());
    return false;
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
    if (!options.quiet && !ConfirmToContinue()) return AbortRestart(run, exitCode);
    // The resumed run starts from copies only administrators can change, never from where the
    // operator started this one.
    platform::FileError error;
    const auto copies = StoreResumeCopies(workingFolder_, run.image,
                                          static_cast<std::size_t>(run.imageSize), &error);
    if (!copies) {
        PrintAndLog(
            L"   Error: The files for the resume could not be stored in %ls (%ls, error "
            L"%u).\n",
            workingFolder_.c_str(), Utf8ToWide(error.call).c_str(), error.code);
        RemoveResumeCopies(workingFolder_);
        return AbortRestart(run, exitCode);
    }
    RegisterRunOnce(ResumeCommandLine(*copies, options));
    StoreSettingsInRegistry(settingsFile_);
    LogRestartRequest(L"to disable the display driver", RebootNow());
    return exitCode;
}

std::int32_t CDriverCycle::AbortRestart(tagRunResources& run, std::int32_t exitCode) {
    for (std::uint32_t i = 0; i < run.cardCount; ++i) closeJtagPort(&run.records[i], 0);
    tool_.Enable(runner_);
    PrintAndLog(L"   Update aborted.\n\n");
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
    if (!importCommandLine_.empty()) RegisterRunOnce(importCommandLine_);
    LogRestartRequest(L"after enabling the display driver", RebootNow());
    return exitCode;
}

bool CDriverCycle::RecoverResumedRunWithoutImage() {
    if (!tool_.Extracted() || (!SettingsCopyStored() && !ResumeRecorded())) return false;
    if (!tool_.QueryDisplayDriver(runner_)) return false;
    const std::uint32_t enabled = tool_.Enable(runner_);
    LogSettingsRestored(settingsFile_, RestoreSettingsFromRegistry(settingsFile_));
    if (!importCommandLine_.empty()) RegisterRunOnce(importCommandLine_);
    Tidy();
    PrintAndLog(
        L"\n   No usable XSVF file: nothing was programmed, and the display driver is enabled "
        L"again.\n");
    if (enabled != 0) {
        PrintAndLog(L"   You must restart the computer to complete enabling the display driver.\n");
    }
    return true;
}

void CDriverCycle::Tidy() {
    TidyRegistry();
    RemoveResumeCopies(workingFolder_);
}
