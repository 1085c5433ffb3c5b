// Known folders of the Windows edition through SHGetKnownFolderPath, loaded from System32.
#include <windows.h>

#include <cwchar>

#include "base/win_handles_win.h"
#include "platform/known_folders.h"
#include "platform/system_library.h"

namespace platform {

namespace {

// FOLDERID_ProgramData, FOLDERID_ProgramFilesX86, FOLDERID_LocalAppData.
constexpr GUID kProgramData = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
constexpr GUID kProgramFilesX86 = {
    0x7C5A40EF, 0xA0FB, 0x4BFC, {0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E}};
constexpr GUID kLocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

using GetKnownFolderFn = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
using TaskMemFreeFn = void(WINAPI*)(LPVOID);
using GetProfileDirectoryFn = BOOL(WINAPI*)(HANDLE, LPWSTR, LPDWORD);

ovn::Result<std::wstring> KnownFolder(const GUID& id) {
    // shell32 and ole32 are not in the set the exe imports: they come from System32 at run time.
    const auto get =
        SystemLibraryFunction<GetKnownFolderFn>(L"shell32.dll", "SHGetKnownFolderPath");
    const auto release = SystemLibraryFunction<TaskMemFreeFn>(L"ole32.dll", "CoTaskMemFree");
    if (!get) return get.error();
    if (!release) return release.error();
    PWSTR path = nullptr;
    const HRESULT result = (*get)(id, 0, nullptr, &path);
    std::wstring folder;
    if (SUCCEEDED(result) && path != nullptr) folder = path;
    (*release)(path);
    if (FAILED(result))
        return ovn::CallError("SHGetKnownFolderPath", static_cast<std::uint32_t>(result));
    // A folder without a name is no folder to work in.
    if (folder.empty()) return ovn::CallError("SHGetKnownFolderPath", ERROR_PATH_NOT_FOUND);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

}  // namespace

ovn::Result<std::wstring> ProgramDataFolder() { return KnownFolder(kProgramData); }

// The 32-bit program files folder of a 64-bit system whatever the width of the process; on a
// 32-bit system the system resolves the same ID to the program files folder.
ovn::Result<std::wstring> ProgramFilesFor32BitFolder() { return KnownFolder(kProgramFilesX86); }

ovn::Result<std::wstring> LocalAppDataFolder() { return KnownFolder(kLocalAppData); }

// The profile list under HKLM names the folder of the token's user; the user cannot re-point it.
ovn::Result<std::wstring> UserProfileFolder() {
    const auto get =
        SystemLibraryFunction<GetProfileDirectoryFn>(L"userenv.dll", "GetUserProfileDirectoryW");
    if (!get) return get.error();
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return ovn::CallError("OpenProcessToken", GetLastError());
    const ovn::ScopedKernelHandle token(raw);
    DWORD size = 0;
    // Asks for the size only: it fails by design and says how much to give.
    (void)(*get)(raw, nullptr, &size);
    if (size == 0) return ovn::CallError("GetUserProfileDirectoryW", GetLastError());
    std::wstring folder(size, L'\0');
    if (!(*get)(raw, folder.data(), &size))
        return ovn::CallError("GetUserProfileDirectoryW", GetLastError());
    folder.resize(wcslen(folder.c_str()));
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (folder.empty()) return ovn::CallError("GetUserProfileDirectoryW", ERROR_PATH_NOT_FOUND);
    return folder;
}

}  // namespace platform
