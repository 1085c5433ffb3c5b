// Known folders of the Windows edition through SHGetKnownFolderPath, loaded from System32.
#include <windows.h>

#include <cwchar>

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

std::optional<std::wstring> KnownFolder(const GUID& id) {
    // shell32 and ole32 are not in the set the exe imports: they come from System32 at run time.
    const auto get =
        SystemLibraryFunction<GetKnownFolderFn>(L"shell32.dll", "SHGetKnownFolderPath");
    const auto release = SystemLibraryFunction<TaskMemFreeFn>(L"ole32.dll", "CoTaskMemFree");
    if (get == nullptr || release == nullptr) return std::nullopt;
    PWSTR path = nullptr;
    const HRESULT result = get(id, 0, nullptr, &path);
    std::optional<std::wstring> folder;
    if (SUCCEEDED(result) && path != nullptr && *path != L'\0') folder = std::wstring(path);
    release(path);
    while (folder && folder->size() > 3 && folder->back() == L'\\') folder->pop_back();
    return folder;
}

}  // namespace

std::optional<std::wstring> ProgramDataFolder() { return KnownFolder(kProgramData); }

// The 32-bit program files folder of a 64-bit system whatever the width of the process; on a
// 32-bit system the system resolves the same ID to the program files folder.
std::optional<std::wstring> ProgramFilesFor32BitFolder() { return KnownFolder(kProgramFilesX86); }

std::optional<std::wstring> LocalAppDataFolder() { return KnownFolder(kLocalAppData); }

// The profile list under HKLM names the folder of the token's user; the user cannot re-point it.
std::optional<std::wstring> UserProfileFolder() {
    const auto get =
        SystemLibraryFunction<GetProfileDirectoryFn>(L"userenv.dll", "GetUserProfileDirectoryW");
    HANDLE token = nullptr;
    if (get == nullptr || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::nullopt;
    DWORD size = 0;
    get(token, nullptr, &size);
    std::wstring folder(size, L'\0');
    const bool got = size > 0 && get(token, folder.data(), &size);
    CloseHandle(token);
    if (!got) return std::nullopt;
    folder.resize(wcslen(folder.c_str()));
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (folder.empty()) return std::nullopt;
    return folder;
}

}  // namespace platform
