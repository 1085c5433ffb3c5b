// The log folder of the Windows edition: each level below the profile opened as itself, checked by
// attributes and final path, and held open against renames while the process runs.
#include <windows.h>

#include <vector>

#include "base/win_handles_win.h"
#include "platform/final_path_win.h"
#include "platform/known_folders.h"
#include "platform/log_folder.h"
#include "text/text_encoding.h"

namespace platform {

namespace {

using ovn::ScopedKernelHandle;

// Process-wide: the levels stay held for as long as the process may append to the log.
std::vector<ScopedKernelHandle> g_heldLevels;

std::vector<std::wstring> Levels(const std::wstring& relative) {
    std::vector<std::wstring> levels;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t end = relative.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = relative.size();
        if (end > start) levels.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

// Listing access takes part in sharing, so without FILE_SHARE_DELETE nobody can rename or remove
// the level while the handle is open. Opened as itself: a junction or symbolic link is not crossed.
ScopedKernelHandle OpenLevel(const std::wstring& path) {
    return ScopedKernelHandle(
        CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Empty when the open level is a plain folder at the place expected; otherwise what it is.
std::wstring Fault(HANDLE level, const std::wstring& expectedFinal) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(level, &info))
        return L"cannot be examined (error " + std::to_wstring(GetLastError()) + L")";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"is a link (reparse point)";
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return L"is no folder";
    const ovn::Result<std::wstring> final = FinalPath(level);
    if (!final) {
        return L"cannot be followed to where it leads (error " +
               std::to_wstring(final.error().code) + L")";
    }
    if (!SamePath(*final, expectedFinal)) return L"leads to " + *final + L" (a link)";
    return {};
}

ovn::Error Refused(const char* call, std::uint32_t code, const std::wstring& refusal) {
    return ovn::Error{call, code, WideToUtf8(refusal)};
}

}  // namespace

ovn::Result<std::wstring> PrepareLogFolder() {
    g_heldLevels.clear();
    const auto profile = UserProfileFolder();
    const auto local = LocalAppDataFolder();
    if (!profile || !local) {
        const ovn::Error& error = profile ? local.error() : profile.error();
        return Refused(error.call.c_str(), error.code,
                       L"the user's profile or local application data folder is unknown");
    }
    const std::size_t length = profile->size();
    if (local->size() <= length + 1 || (*local)[length] != L'\\' ||
        !SamePath(local->substr(0, length), *profile)) {
        return Refused("local application data folder in the profile", 0,
                       L"the local application data folder " + *local +
                           L" is not in the user's profile " + *profile);
    }
    ScopedKernelHandle base(CreateFileW(profile->c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    const DWORD baseError = GetLastError();
    const ovn::Result<std::wstring> baseFinal =
        base ? FinalPath(base.get()) : ovn::CallError("CreateFileW", baseError);
    if (!baseFinal) {
        return Refused(baseFinal.error().call.c_str(), baseFinal.error().code,
                       L"the user's profile " + *profile + L" cannot be opened (error " +
                           std::to_wstring(baseFinal.error().code) + L")");
    }
    std::wstring expected = *baseFinal;
    std::vector<std::wstring> levels = Levels(local->substr(length + 1));
    const std::size_t known = levels.size();  // the known folder's own levels are not created
    levels.insert(levels.end(), {L"Orvane", L"OvnK740FpgaUpdater"});
    std::wstring path = *profile;
    std::vector<ScopedKernelHandle> held;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        path += L'\\';
        path += levels[i];
        if (expected.back() != L'\\') expected += L'\\';
        expected += levels[i];
        // A new folder is never a link; an existing name (a link included) is left as it is.
        if (i >= known) CreateDirectoryW(path.c_str(), nullptr);
        ScopedKernelHandle level = OpenLevel(path);
        if (!level) {
            const DWORD code = GetLastError();
            return Refused("CreateFileW", code,
                           L"the folder " + path + L" cannot be opened (error " +
                               std::to_wstring(code) + L")");
        }
        const std::wstring fault = Fault(level.get(), expected);
        if (!fault.empty())
            return Refused("log folder level", 0, L"the folder " + path + L" " + fault);
        held.push_back(std::move(level));
    }
    g_heldLevels = std::move(held);
    return path + L'\\';
}

}  // namespace platform
