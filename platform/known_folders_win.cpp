// Known folders of the Windows edition through SHGetKnownFolderPath, loaded from System32.
#include <windows.h>

#include "platform/known_folders.h"
#include "platform/system_library.h"

namespace platform {

namespace {

// FOLDERID_ProgramData, FOLDERID_ProgramFilesX86.
constexpr GUID kProgramData = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
constexpr GUID kProgramFilesX86 = {
    0x7C5A40EF, 0xA0FB, 0x4BFC, {0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E}};

using GetKnownFolderFn = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
using TaskMemFreeFn = void(WINAPI*)(LPVOID);

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

}  // namespace platform
