// The ProgramData known folder through shell32, loaded from the system directory at run time.
#include <windows.h>

#include "platform/program_data.h"
#include "platform/system_library.h"

namespace platform {

std::optional<std::wstring> ProgramDataDirectory() {
    // FOLDERID_ProgramData, spelled out so no GUID library has to be linked.
    static const GUID kProgramData = {
        0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
    using GetKnownFolder = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
    using FreeTaskMemory = void(WINAPI*)(void*);
    const auto get = SystemLibraryFunction<GetKnownFolder>(L"shell32.dll", "SHGetKnownFolderPath");
    const auto release = SystemLibraryFunction<FreeTaskMemory>(L"ole32.dll", "CoTaskMemFree");
    if (!get || !release) return std::nullopt;
    PWSTR path = nullptr;
    const HRESULT result = get(kProgramData, 0, nullptr, &path);
    std::optional<std::wstring> folder;
    if (SUCCEEDED(result) && path && *path) folder = std::wstring(path);
    if (path) release(path);
    return folder;
}

}  // namespace platform
