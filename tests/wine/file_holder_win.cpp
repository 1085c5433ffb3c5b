// A user's program in the trust tests that holds a file open where the working folder goes, so
// nobody may rename or delete it: usage file_holder PATH READY RELEASE. It makes PATH, then READY,
// and keeps PATH open without delete sharing until RELEASE exists.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    HANDLE held = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(held, "a user's file", 13, &written, nullptr);
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(ready);
    // Bounded only so that a test that died first does not leave it behind for good.
    for (int i = 0; i < 6000 && GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(held);
    return 0;
}
