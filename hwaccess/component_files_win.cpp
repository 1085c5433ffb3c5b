// Writes and removes the driver-access component files, with the restart fallbacks and with the
// 32-bit process's file-system redirection turned off where the native directory is meant.
#include <windows.h>

#include "hwaccess/component_plan.h"
#include "hwaccess/driver_loader.h"

namespace driver_loader {
namespace {

using DisableRedirectionFn = BOOL(WINAPI*)(PVOID*);
using RevertRedirectionFn = BOOL(WINAPI*)(PVOID);

// Turns redirection off for its lifetime when asked to and when the system offers the call (it
// does not before 64-bit Windows, nor for a 64-bit process, where the call fails harmlessly).
class CRedirectionOff {
public:
    explicit CRedirectionOff(bool wanted) {
        if (!wanted) return;
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        if (kernel == nullptr) return;
        auto disable = reinterpret_cast<DisableRedirectionFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
        if (disable == nullptr) return;
        disabled_ = disable(&oldValue_) != FALSE;
    }
    ~CRedirectionOff() {
        if (!disabled_) return;
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        auto revert = reinterpret_cast<RevertRedirectionFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
        if (revert != nullptr) revert(oldValue_);
    }
    CRedirectionOff(const CRedirectionOff&) = delete;
    CRedirectionOff& operator=(const CRedirectionOff&) = delete;

private:
    bool disabled_ = false;
    PVOID oldValue_ = nullptr;
};

// No sharing and always replacing: a half-written driver must never be picked up by anyone else.
bool WriteWholeFile(const char* path, const unsigned char* image, std::uint32_t length) {
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, image, length, &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

// The target is in use (an older library loaded by another process, say): put the image in a
// temporary file and let the system move it into place at the next restart.
bool WriteOnRestart(const std::string& path, const unsigned char* image, std::uint32_t length) {
    char tempDir[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, tempDir);
    if (n == 0 || n >= MAX_PATH) return false;
    char shortDir[MAX_PATH];
    n = GetShortPathNameA(tempDir, shortDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    char tempFile[MAX_PATH];
    if (GetTempFileNameA(shortDir, "ovn", 0, tempFile) == 0) return false;
    if (!WriteWholeFile(tempFile, image, length) ||
        MoveFileExA(tempFile, path.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT) == FALSE) {
        DeleteFileA(tempFile);
        return false;
    }
    return true;
}

}  // namespace

bool BuildSystemPath(const char* name, bool useWow64Dir, std::string& path) {
    char windowsDir[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(windowsDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    path = JoinSystemPath(std::string(windowsDir, n), useWow64Dir, name);
    return true;
}

bool WriteComponentFile(const std::string& path, const unsigned char* image, std::uint32_t length,
                        bool redirectionOff) {
    CRedirectionOff redirection(redirectionOff);
    if (WriteWholeFile(path.c_str(), image, length)) return true;
    return WriteOnRestart(path, image, length);
}

bool RemoveComponentFile(const std::string& path, bool redirectionOff) {
    CRedirectionOff redirection(redirectionOff);
    if (DeleteFileA(path.c_str()) != FALSE) return true;
    return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool RemoveComponents(bool is64BitOs) {
    const tagComponentPlan plan = ComponentPlan(is64BitOs);
    for (std::size_t i = 0; i < plan.count; ++i) {
        const tagComponentFile& file = plan.files[i];
        std::string path;
        if (!BuildSystemPath(file.name, file.useWow64Dir, path)) return false;
        if (!RemoveComponentFile(path, file.redirectionOff)) return false;
    }
    return true;
}

}  // namespace driver_loader
