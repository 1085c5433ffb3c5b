// Writes and removes the driver-access component files, with the restart fallbacks and with the
// 32-bit process's file-system redirection turned off where the native directory is meant.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "base/win_handles_win.h"
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

// Owns a file from its creation until Keep(): a file this attempt could not fill is deleted, so a
// half-written image is never left for anyone (or a restart) to pick up.
class CNewFile {
public:
    CNewFile(std::string path, HANDLE handle) : path_(std::move(path)), handle_(handle) {}
    ~CNewFile() {
        handle_.reset();
        if (!kept_) DeleteFileA(path_.c_str());
    }
    CNewFile(const CNewFile&) = delete;
    CNewFile& operator=(const CNewFile&) = delete;

    // The whole image in one write; fewer bytes stored than given is a failed write.
    bool WriteAll(const unsigned char* image, std::uint32_t length) {
        DWORD written = 0;
        return WriteFile(handle_.get(), image, length, &written, nullptr) != FALSE &&
               written == length;
    }
    void Keep() {
        handle_.reset();
        kept_ = true;
    }

private:
    std::string path_;
    ovn::ScopedKernelHandle handle_;
    bool kept_ = false;
};

// No sharing and always replacing: a half-written driver must never be picked up by anyone else.
// A failure names the call in `result` with the system's error.
bool WriteWholeFile(const std::string& path, const unsigned char* image, std::uint32_t length,
                    tagComponentWrite& result) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.inPlace = ovn::CallError("CreateFileA", GetLastError());
        return false;
    }
    CNewFile file(path, handle);
    if (!file.WriteAll(image, length)) {
        result.inPlace = ovn::CallError("WriteFile", GetLastError());
        return false;
    }
    file.Keep();
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t separator = path.find_last_of('\\');
    return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

// The target is in use (an older library loaded by another process, say): stage the image beside
// it and let the system move it into place at the next restart. The staging file lives in the
// target's own directory, which only administrators can write, and is created new and unshared:
// nobody can swap it before the restart puts it in place.
std::string WriteOnRestart(const std::string& path, const unsigned char* image,
                           std::uint32_t length) {
    const std::string directory = DirectoryOf(path);
    const DWORD process = GetCurrentProcessId();
    for (DWORD attempt = 0; attempt < 64; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "\\ovn%04lX%04lX%02lX.tmp",
                      static_cast<unsigned long>(process & 0xFFFF),
                      static_cast<unsigned long>(GetTickCount() & 0xFFFF),
                      static_cast<unsigned long>(attempt));
        const std::string staged = directory + name;
        HANDLE handle = CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return {};
        }
        CNewFile file(staged, handle);
        if (!file.WriteAll(image, length)) return {};
        // The target exists (it is what is locked): the move must be allowed to replace it.
        if (MoveFileExA(staged.c_str(), path.c_str(),
                        MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) == FALSE) {
            return {};
        }
        file.Keep();
        return staged;
    }
    return {};
}

}  // namespace

ovn::Result<std::string> BuildSystemPath(const char* name, bool useWow64Dir) {
    char windowsDir[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(windowsDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ovn::CallError("GetWindowsDirectoryA", GetLastError());
    return JoinSystemPath(std::string(windowsDir, n), useWow64Dir, name);
}

tagComponentWrite WriteComponentFile(const std::string& path, const unsigned char* image,
                                     std::uint32_t length, bool redirectionOff) {
    CRedirectionOff redirection(redirectionOff);
    tagComponentWrite result;
    if (WriteWholeFile(path, image, length, result)) {
        result.written = true;
        return result;
    }
    result.stagedPath = WriteOnRestart(path, image, length);
    result.written = !result.stagedPath.empty();
    if (result.written) result.inPlace = {};
    return result;
}

void UndoComponentWrite(const std::string& path, const tagComponentWrite& write,
                        bool redirectionOff) {
    if (!write.written) return;
    if (write.stagedPath.empty()) {
        RemoveComponentFile(path, redirectionOff);
        return;
    }
    CRedirectionOff redirection(redirectionOff);
    if (DeleteFileA(write.stagedPath.c_str()) == FALSE) {
        MoveFileExA(write.stagedPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
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
        const ovn::Result<std::string> path = BuildSystemPath(file.name, file.useWow64Dir);
        if (!path || !RemoveComponentFile(*path, file.redirectionOff)) return false;
    }
    return true;
}

}  // namespace driver_loader
