// Starts the updater with an image name holding an unpaired surrogate, which no shell can pass
// through Wine's UTF-8 arguments: usage surrogate_launcher UPDATER_EXE [SOURCE]. With SOURCE it
// first copies that file to the name in the current directory (exit 120 when that cannot be done).
// Its exit code is the updater's (121: wrong usage, 122: the updater did not start).
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 3) return 121;
    const std::wstring image = L"k740\xD800.xsvf";
    if (argc == 3 && !CopyFileW(argv[2], image.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot make the image name here (error %lu)\n", GetLastError());
        return 120;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\" -q -b -f " + image;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "cannot start the updater (error %lu)\n", GetLastError());
        return 122;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 122;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
