// Test program for the driver-access loader under Wine: opens the library as the utility does,
// lists the cards through the PCI scan, shows the shared block, or holds the loader mutex until
// told to let go.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "hwaccess/driver_access.h"
#include "hwaccess/driver_loader.h"
#include "hwaccess/pci_scan.h"

namespace {

// Opens the block as another process would, so it shows what every loader shares.
void PrintSharedBlock() {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, driver_loader::kSharedBlockName);
    if (mapping == nullptr) {
        std::printf("block=none\n");
        return;
    }
    const auto* data = static_cast<const driver_loader::SharedWrapData*>(
        MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(driver_loader::SharedWrapData)));
    if (data == nullptr) {
        std::printf("block=unmapped\n");
    } else {
        std::printf("installed=%u loadCount=%u\n", static_cast<unsigned>(data->installed),
                    static_cast<unsigned>(data->loadCount));
        UnmapViewOfFile(data);
    }
    CloseHandle(mapping);
}

void PrintCards() {
    CPciScan scan;
    const bool found = scan.Scan();
    std::printf("cards=%u found=%d\n", static_cast<unsigned>(scan.cardCount), found ? 1 : 0);
    for (std::uint32_t i = 0; i < scan.cardCount; ++i) {
        const tagPciInfo& card = scan.devices->items[i];
        std::printf("card bus=%02X dev=%02X fn=%X mapped=%d\n",
                    static_cast<unsigned>(card.busNumber), static_cast<unsigned>(card.deviceNumber),
                    static_cast<unsigned>(card.functionNumber), card.hRegisters != 0 ? 1 : 0);
    }
}

// Waits until the script creates the file: the end of a hold follows the script's steps, not a
// length of time that a slow start of the next Wine process could outlast.
void WaitForFile(const char* path) {
    while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) Sleep(50);
}

int Open(int argc, char** argv) {
    bool scan = false;
    const char* holdUntil = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scan") == 0) scan = true;
        if (std::strcmp(argv[i], "--hold-until") == 0 && i + 1 < argc) holdUntil = argv[++i];
    }
    const DWORD start = GetTickCount();
    const bool opened = OpenDriverAccess();
    std::printf("open=%d ms=%lu\n", opened ? 1 : 0,
                static_cast<unsigned long>(GetTickCount() - start));
    if (opened) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(static_cast<HMODULE>(driver_access::LoadedModule()), path, MAX_PATH);
        std::printf("module=%s\n", path);
        std::printf("reopen=%d\n", OpenDriverAccess() ? 1 : 0);
    }
    PrintSharedBlock();
    if (opened && scan) PrintCards();
    std::fflush(stdout);
    if (holdUntil != nullptr) WaitForFile(holdUntil);
    return opened ? 0 : 1;
}

int HoldMutex(const char* releaseFile) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, driver_loader::kMutexName);
    if (mutex == nullptr || WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    WaitForFile(releaseFile);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "open") == 0) return Open(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "block") == 0) {
        PrintSharedBlock();
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "hold-mutex") == 0) return HoldMutex(argv[2]);
    std::fprintf(stderr,
                 "usage: loader_probe open [--scan] [--hold-until FILE] | block | "
                 "hold-mutex UNTIL_FILE\n");
    return 2;
}
