// Every fixed text dec740 writes. The updater decides that a display driver is installed when the
// tool's output contains "ati", "amd" or "Windows\INF\oem" (case-sensitive), so none of these texts
// may contain them: only real driver data may. Mind words such as "information" or "compatible".
#pragma once

#include <array>

namespace dec740::text {

inline constexpr char kUsage[] =
    "Usage: dec740 <command> <hardware ID>\n"
    "Commands:\n"
    "    driverfiles  lists the driver files of every device with this ID\n"
    "    disable      disables every device with this ID\n"
    "    enable       enables every device with this ID\n"
    "    help         shows this text\n"
    "The ID is compared with every hardware ID and every other ID a device lists, ignoring letter\n"
    "case; a trailing * stands for any rest.\n"
    "Exit codes: 0 done, 1 a restart is needed, 2 failure, 3 wrong command line.\n";

// Command-line errors (standard error, exit code 3), followed by the usage text.
inline constexpr char kUnknownCommand[] = "Unknown command: %s\n";
inline constexpr char kMissingId[] = "The hardware ID is missing.\n";
inline constexpr char kEmptyId[] = "The hardware ID is empty.\n";
inline constexpr char kTooManyArguments[] = "Too many arguments.\n";

// Failures (standard error, exit code 2).
inline constexpr char kCallFailed[] = "%s failed with error 0x%08X";
inline constexpr char kCannotList[] = "The devices cannot be listed: %s.\n";
inline constexpr char kNoMatch[] = "No device has the ID %s.\n";
inline constexpr char kFilesUnknown[] = "    The files of this driver cannot be listed: %s.\n";
inline constexpr char kNotDisabled[] = "%s: not disabled: %s.\n";
inline constexpr char kNotEnabled[] = "%s: not enabled: %s.\n";

// driverfiles (standard output).
inline constexpr char kDeviceName[] = "    Name: %s\n";
inline constexpr char kDriverFrom[] = "    Driver installed from %s [%s].";
inline constexpr char kFileCount[] = " %u file(s) used by driver:\n";
inline constexpr char kFile[] = "        %s\n";
inline constexpr char kNoDriver[] = "    No driver is installed for this device.\n";
inline constexpr char kDevicesFound[] = "%u device(s) found.\n";

// disable and enable (standard output).
inline constexpr char kDisabled[] = "%s: Disabled\n";
inline constexpr char kDisabledAfterRestart[] = "%s: Disabled at the next restart\n";
inline constexpr char kEnabled[] = "%s: Enabled\n";
inline constexpr char kEnabledAfterRestart[] = "%s: Enabled at the next restart\n";
inline constexpr char kDevicesDisabled[] = "%u device(s) disabled.\n";
inline constexpr char kDevicesEnabled[] = "%u device(s) enabled.\n";
inline constexpr char kRestartNeeded[] = "The change takes effect when the machine restarts.\n";

inline constexpr std::array kAll = {
    kUsage,
    kUnknownCommand,
    kMissingId,
    kEmptyId,
    kTooManyArguments,
    kCallFailed,
    kCannotList,
    kNoMatch,
    kFilesUnknown,
    kNotDisabled,
    kNotEnabled,
    kDeviceName,
    kDriverFrom,
    kFileCount,
    kFile,
    kNoDriver,
    kDevicesFound,
    kDisabled,
    kDisabledAfterRestart,
    kEnabled,
    kEnabledAfterRestart,
    kDevicesDisabled,
    kDevicesEnabled,
    kRestartNeeded,
};

}  // namespace dec740::text
