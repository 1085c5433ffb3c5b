// A stranger's powrprof.dll or wtsapi32.dll planted beside the exe: it offers the calls the
// updater makes, so a program that imports it really starts with it, and anything that loads it
// leaves a marker file beside it (<its own path>.loaded) for the tests to find.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcatW(path, L".loaded");
    HANDLE marker =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return TRUE;
}

// Every call fails as an access would be refused; the marker is what the tests look at.
constexpr LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022u);

extern "C" __declspec(dllexport) LONG WINAPI
    CallNtPowerInformation(int, void*, ULONG, void*, ULONG) {
    return kStatusAccessDenied;
}
extern "C" __declspec(dllexport) DWORD WINAPI PowerGetActiveScheme(HKEY, GUID**) {
    return ERROR_ACCESS_DENIED;
}
extern "C" __declspec(dllexport) DWORD WINAPI
    PowerReadACValueIndex(HKEY, const GUID*, const GUID*, const GUID*, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}
extern "C" __declspec(dllexport) DWORD WINAPI
    PowerWriteACValueIndex(HKEY, const GUID*, const GUID*, const GUID*, DWORD) {
    return ERROR_ACCESS_DENIED;
}
extern "C" __declspec(dllexport) DWORD WINAPI PowerSetActiveScheme(HKEY, const GUID*) {
    return ERROR_ACCESS_DENIED;
}
extern "C" __declspec(dllexport) BOOL WINAPI
    WTSEnumerateSessionsW(HANDLE, DWORD, DWORD, void**, DWORD*) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
extern "C" __declspec(dllexport) void WINAPI WTSFreeMemory(void*) {}
