// The names of the system calls the SetupAPI binding makes, as it resolves them and as its error
// messages name them. Kept apart so the host tests can hold them to the rule of dec740_texts.h.
#pragma once

#include <array>

namespace dec740::calls {

inline constexpr char kLoadLibrary[] = "LoadLibraryExW";
inline constexpr char kGetProcAddress[] = "GetProcAddress";
inline constexpr char kGetWindowsDirectory[] = "GetSystemWindowsDirectoryW";
inline constexpr char kGetSystemDirectory[] = "GetSystemDirectoryW";
inline constexpr char kGetClassDevs[] = "SetupDiGetClassDevsW";
inline constexpr char kEnumDeviceInfo[] = "SetupDiEnumDeviceInfo";
inline constexpr char kGetDeviceInstanceId[] = "SetupDiGetDeviceInstanceIdW";
inline constexpr char kGetDeviceRegistryProperty[] = "SetupDiGetDeviceRegistryPropertyW";
inline constexpr char kOpenDevRegKey[] = "SetupDiOpenDevRegKey";
inline constexpr char kDestroyDeviceInfoList[] = "SetupDiDestroyDeviceInfoList";
inline constexpr char kSetClassInstallParams[] = "SetupDiSetClassInstallParamsW";
inline constexpr char kCallClassInstaller[] = "SetupDiCallClassInstaller";
inline constexpr char kGetDeviceInstallParams[] = "SetupDiGetDeviceInstallParamsW";
inline constexpr char kOpenInfFile[] = "SetupOpenInfFileW";
inline constexpr char kCloseInfFile[] = "SetupCloseInfFile";
inline constexpr char kGetActualSection[] = "SetupDiGetActualSectionToInstallW";
inline constexpr char kOpenFileQueue[] = "SetupOpenFileQueue";
inline constexpr char kCloseFileQueue[] = "SetupCloseFileQueue";
inline constexpr char kInstallFilesFromSection[] = "SetupInstallFilesFromInfSectionW";
inline constexpr char kScanFileQueue[] = "SetupScanFileQueueW";

inline constexpr std::array kAll = {
    kLoadLibrary,
    kGetProcAddress,
    kGetWindowsDirectory,
    kGetSystemDirectory,
    kGetClassDevs,
    kEnumDeviceInfo,
    kGetDeviceInstanceId,
    kGetDeviceRegistryProperty,
    kOpenDevRegKey,
    kDestroyDeviceInfoList,
    kSetClassInstallParams,
    kCallClassInstaller,
    kGetDeviceInstallParams,
    kOpenInfFile,
    kCloseInfFile,
    kGetActualSection,
    kOpenFileQueue,
    kCloseFileQueue,
    kInstallFilesFromSection,
    kScanFileQueue,
};

}  // namespace dec740::calls
