// The steps of loading and installing the driver-access library on Windows, shared by the loader
// and the uninstaller.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"
#include "hwaccess/admin_objects.h"
#include "hwaccess/driver_access_failure.h"

namespace driver_loader {

inline constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OvnVxd";
inline constexpr const char* kDisplayName = "Orvane OvnVxd Services";
inline constexpr std::uint32_t kMutexWaitMs = 4000;

// One per process, zero-filled when the library is first opened. Handles are the system's.
struct LoaderState {
    void* mutex;
    void* mapping;
    SharedWrapData* view;
    bool is64BitOs;
};

// False on an Itanium system; sets is64BitOs on an AMD64 one.
[[nodiscard]] bool CheckPlatform(LoaderState& state);

// <Windows>\System32<name> or <Windows>\SysWOW64<name>; an error when the Windows directory is
// unknown.
[[nodiscard]] ovn::Result<std::string> BuildSystemPath(const char* name, bool useWow64Dir);

// What WriteComponentFile did: the image is at `path`, or staged beside it (same directory, so only
// an administrator can touch it) and moved onto `path` at the next restart.
struct tagComponentWrite {
    bool written = false;
    std::string stagedPath;  // empty when the image was written in place
    // Why the image could not be written in place (an empty call when it was).
    ovn::Error inPlace;
};

// Writes the image whole, or stages a copy beside `path` that replaces it at the next restart. A
// write that stores fewer bytes than the image counts as failed and leaves no file behind.
[[nodiscard]] tagComponentWrite WriteComponentFile(const std::string& path,
                                                   const unsigned char* image, std::uint32_t length,
                                                   bool redirectionOff);
// Takes back one write of this attempt: the file written in place is removed (or its removal
// scheduled); a staged copy is deleted, so that its pending move finds nothing to move.
void UndoComponentWrite(const std::string& path, const tagComponentWrite& write,
                        bool redirectionOff);
// Deletes the file, or schedules its deletion at the next restart.
bool RemoveComponentFile(const std::string& path, bool redirectionOff);

// The component files in their order; the first failure stops the sequence, takes back the files
// this call wrote before it, and is described in `failure` (step kInstallFile, subject the file).
[[nodiscard]] bool InstallComponents(bool is64BitOs, tagDriverAccessFailure& failure);
// Best effort on every way out: a file that cannot go now goes at the next restart. False when one
// can do neither.
bool RemoveComponents(bool is64BitOs);

// The uninstall key in the 32-bit registry view, with "DisplayName" and "UninstallString". On
// failure the call that failed and the registry's error code.
[[nodiscard]] ovn::Status CreateUninstallEntry(bool is64BitOs);
void DeleteUninstallEntry(bool is64BitOs);

}  // namespace driver_loader
