// Test program for the driver-access loader under Wine: opens the library as the utility does,
// lists the cards through the PCI scan, shows the shared block, or holds the loader's objects until
// the test lets go: as another loader would (admin-only), or as a program without administrator
// rights would squat them (created first, with the default descriptor).
#include <windows.h>
// After windows.h:
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "hwaccess/admin_objects.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/driver_loader.h"
#include "hwaccess/pci_scan.h"
#include "hwaccess/run_lock.h"

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

// Waits until the test creates the file: the test's signal that a step is done, so that no check
// depends on how fast this machine is. No limit of its own: the test ends its prefix's processes.
void WaitForFile(const char* path) {
    while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) Sleep(50);
}

// What this process still has of the loader's kernel objects after a failed open, once every other
// holder is gone: any object that still exists is kept alive by a handle of this process.
void PrintLeftHandles() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, driver_loader::kMutexName);
    bool owned = false;
    if (mutex != nullptr) {
        // Another thread's wait fails only while this process's main thread owns the mutex.
        std::thread other([&] {
            const DWORD wait = WaitForSingleObject(mutex, 0);
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(mutex);
            owned = wait == WAIT_TIMEOUT;
        });
        other.join();
        CloseHandle(mutex);
    }
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, driver_loader::kSharedBlockName);
    if (mapping != nullptr) CloseHandle(mapping);
    std::printf("mutex-left=%d mutex-owned=%d block-left=%d\n", mutex != nullptr ? 1 : 0,
                owned ? 1 : 0, mapping != nullptr ? 1 : 0);
}

const char* StepName(DriverAccessStep step) {
    switch (step) {
        case DriverAccessStep::kMutexSquatted:
            return "mutex-squatted";
        case DriverAccessStep::kMutexBusy:
            return "mutex-busy";
        case DriverAccessStep::kMutexAbandoned:
            return "mutex-abandoned";
        case DriverAccessStep::kBlockSquatted:
            return "block-squatted";
        case DriverAccessStep::kBlockMap:
            return "block-map";
        default:
            return "other";
    }
}

int Open(int argc, char** argv) {
    bool scan = false;
    const char* holdUntil = nullptr;
    const char* afterFile = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scan") == 0) scan = true;
        if (std::strcmp(argv[i], "--hold-until") == 0 && i + 1 < argc) holdUntil = argv[++i];
        if (std::strcmp(argv[i], "--left-after") == 0 && i + 1 < argc) afterFile = argv[++i];
    }
    const DWORD start = GetTickCount();
    const bool opened = OpenDriverAccess();
    std::printf("open=%d ms=%lu\n", opened ? 1 : 0,
                static_cast<unsigned long>(GetTickCount() - start));
    if (!opened) {
        const tagDriverAccessFailure& failure = DriverAccessFailure();
        std::printf("failure step=%s object=%s call=%s code=%u\n", StepName(failure.step),
                    failure.subject.c_str(), failure.error.call.c_str(),
                    static_cast<unsigned>(failure.error.code));
    }
    if (opened) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(static_cast<HMODULE>(driver_access::LoadedModule()), path, MAX_PATH);
        std::printf("module=%s\n", path);
        std::printf("reopen=%d\n", OpenDriverAccess() ? 1 : 0);
    }
    PrintSharedBlock();
    if (opened && scan) PrintCards();
    std::fflush(stdout);
    if (afterFile != nullptr) {
        WaitForFile(afterFile);
        PrintLeftHandles();
        std::fflush(stdout);
    }
    if (holdUntil != nullptr) WaitForFile(holdUntil);
    return opened ? 0 : 1;
}

// A shared block that no loader can map writable: a read-only view of a read-only file, made as
// another administrator's program would (admin-only), so that only the mapping fails.
HANDLE CreateReadOnlyBlock(const char* file) {
    const std::string path = std::string(file) + ".block";
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer == INVALID_HANDLE_VALUE) return nullptr;
    const driver_loader::SharedWrapData zero{};
    DWORD written = 0;
    WriteFile(writer, &zero, sizeof zero, &written, nullptr);
    CloseHandle(writer);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader == INVALID_HANDLE_VALUE) return nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            driver_loader::kAdminOnlySddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        CloseHandle(reader);
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE mapping = CreateFileMappingA(reader, &attributes, PAGE_READONLY, 0, 0,
                                        driver_loader::kSharedBlockName);
    LocalFree(descriptor);
    CloseHandle(reader);
    return mapping;
}

// The objects as a program without administrator rights creates them: the default descriptor.
HANDLE CreateSquatted(const char* what) {
    if (std::strcmp(what, "squat-mutex") == 0) {
        return CreateMutexA(nullptr, FALSE, driver_loader::kMutexName);
    }
    if (std::strcmp(what, "squat-run") == 0) {
        return CreateMutexA(nullptr, FALSE, run_lock::kRunLockName);
    }
    return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                              sizeof(driver_loader::SharedWrapData),
                              driver_loader::kSharedBlockName);
}

// Holds the loader's mutex as another loader does (or abandons it: the owning thread ends, the
// handle stays open), a shared block that cannot be mapped writable, or a squatted mutex (held) or
// shared block, until the test creates the file.
int HoldUntil(const char* what, const char* file) {
    HANDLE held = nullptr;
    const bool abandon = std::strcmp(what, "abandon") == 0;
    const bool squatMutex =
        std::strcmp(what, "squat-mutex") == 0 || std::strcmp(what, "squat-run") == 0;
    if (std::strcmp(what, "mutex") == 0 || abandon || squatMutex) {
        tagDriverAccessFailure failure;
        held = squatMutex ? CreateSquatted(what) : driver_loader::CreateLoaderMutex(failure);
        if (held == nullptr) return 1;
        bool acquired = false;
        auto acquire = [&] { acquired = WaitForSingleObject(held, 0) == WAIT_OBJECT_0; };
        if (abandon) {
            std::thread owner(acquire);
            owner.join();
        } else {
            acquire();
        }
        if (!acquired) return 1;
    } else if (std::strcmp(what, "readonly-block") == 0) {
        held = CreateReadOnlyBlock(file);
        if (held == nullptr) return 1;
    } else if (std::strcmp(what, "squat-block") == 0) {
        held = CreateSquatted(what);
        if (held == nullptr) return 1;
    } else {
        return 2;
    }
    std::printf("held\n");
    std::fflush(stdout);
    WaitForFile(file);
    if (std::strcmp(what, "mutex") == 0 || squatMutex) ReleaseMutex(held);
    CloseHandle(held);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "open") == 0) return Open(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "block") == 0) {
        PrintSharedBlock();
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "hold-until") == 0) return HoldUntil(argv[2], argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "wait-until") == 0) {
        WaitForFile(argv[2]);
        return 0;
    }
    std::fprintf(
        stderr,
        "usage: loader_probe open [--scan] [--hold-until FILE] [--left-after FILE] | "
        "block | hold-until mutex|abandon|readonly-block|squat-mutex|squat-block|squat-run FILE | "
        "wait-until FILE\n");
    return 2;
}
