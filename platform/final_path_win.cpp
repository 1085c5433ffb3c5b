// Final paths of open handles and their comparison, shared by the link-safe files and the working
// folder's checks.
#include "platform/final_path_win.h"

#include <windows.h>

namespace platform {

ovn::Result<std::wstring> FinalPath(void* handle) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(
            handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
        if (length == 0) return ovn::CallError("GetFinalPathNameByHandleW", GetLastError());
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        // Too small: length is the size needed, terminator included. The path grew between the
        // two calls: it is moving under the run, which is no place to trust.
        if (attempt == 1)
            return ovn::CallError("GetFinalPathNameByHandleW", ERROR_INSUFFICIENT_BUFFER);
        buffer.assign(length + 1, L'\0');
    }
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + buffer.substr(8);
    if (buffer.rfind(L"\\\\?\\", 0) == 0) return buffer.substr(4);
    return buffer;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace platform
