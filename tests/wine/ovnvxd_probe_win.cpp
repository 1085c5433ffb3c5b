// Asks the running OvnVxd.sys every kind of request, as a caller of the installed OvnVxd.dll and
// as a raw caller of the device, and checks which are answered and which are refused, with which
// error. Prints one line per check; the exit code is the number of failed checks.
// usage: ovnvxd_probe.exe
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "components/ovnvxd/ovnvxd_abi.h"
#include "components/ovnvxd/ovnvxd_core.h"
#include "components/ovnvxd/ovnvxd_device.h"
#include "components/ovnvxd/ovnvxd_protocol.h"
#include "components/ovnvxd/ovnvxd_status.h"

namespace {

int g_failures = 0;
// What STATUS_NO_SUCH_DEVICE becomes; not every SDK header names it.
constexpr unsigned long kErrorNoSuchDevice = 433;
// What STATUS_INVALID_BUFFER_SIZE (a map longer than the rest of its granted page) becomes.
constexpr unsigned long kErrorInvalidUserBuffer = 1784;

void Check(const char* what, bool ok, unsigned long got, unsigned long expected) {
    std::printf("%s %s (got %lu, expected %lu)\n", ok ? "PASS" : "FAIL", what, got, expected);
    if (!ok) ++g_failures;
}

// The Win32 error of one raw request; 0 when it was answered with a whole answer.
unsigned long Ask(COvnVxdTransport& device, std::uint32_t code, const void* request,
                  std::uint32_t inLength, std::uint32_t outLength) {
    std::uint64_t buffer[256] = {};
    std::memcpy(buffer, request, inLength);
    std::uint32_t answered = 0, error = 0;
    if (!device.Control(code, buffer, inLength, outLength, &answered, &error)) return error;
    return answered == outLength ? 0 : 0xFFFF;
}

int OVNVXD_CALL CountFunction(std::uint32_t, void* context) {
    ++*static_cast<int*>(context);
    return 0;
}

void ThroughTheLibrary() {
    HMODULE library = LoadLibraryExW(L"OvnVxd.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    Check("installed OvnVxd.dll loads from the system directory", library != nullptr,
          GetLastError(), 0);
    if (library == nullptr) return;
    auto scan = reinterpret_cast<PciScanBusFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "pciScanBus")));
    auto map =
        reinterpret_cast<MemMap64Fn>(reinterpret_cast<void*>(GetProcAddress(library, "memMap64")));
    auto config = reinterpret_cast<CsReadWriteFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "csReadWrite")));
    Check("the six exports are there", scan && map && config, 0, 0);
    if (!scan || !map || !config) return;
    int functions = 0;
    Check("pciScanBus walks the whole bus space", scan(&CountFunction, &functions) == 1, 0, 1);
    Check("no PCI function under this HAL", functions == 0, functions, 0);
    Check("memMap64 of RAM gives no mapping", map(0x00100000u, 0, 0x10000, 0) == 0, 0, 0);
    Check("memMap64 of a window where no card is gives no mapping",
          map(0xF7E00000u, 0, 0x10000, 0) == 0, 0, 0);
    std::uint32_t value = 0;
    Check("csReadWrite of an absent function fails", config(0x0300, 0, &value, 4, 0) == 0, value,
          0);
}

void RawRequests() {
    auto opened = OpenOvnVxdDevice();
    // Wine may still be tearing down the driver instance of the previous process.
    for (int attempt = 0; !opened && attempt < 3; ++attempt) {
        Sleep(2000);
        opened = OpenOvnVxdDevice();
    }
    if (!opened) {
        std::printf("device: %s failed with %u\n", opened.error().call.c_str(),
                    static_cast<unsigned>(opened.error().code));
    }
    Check("device opens", opened.ok(), opened ? 0 : opened.error().code, 0);
    if (!opened) return;
    std::unique_ptr<COvnVxdTransport> device = std::move(opened).value();
    const std::uint32_t v = OVNVXD_PROTOCOL_VERSION;
    const OvnVxdEnumerate enumerate{v, 0};
    Check("enumeration answers",
          Ask(*device, OVNVXD_IOCTL_ENUMERATE, &enumerate, sizeof enumerate,
              sizeof(OvnVxdEnumerateAnswer)) == 0,
          0, 0);
    struct Refusal {
        const char* what;
        std::uint32_t code;
        const void* request;
        std::uint32_t inLength, outLength;
        unsigned long expected;
    };
    // {version, offset in the register aperture, physical address, length}
    const OvnVxdMap ram{v, 0x1000, 0x00101000u, 0x1000}, empty{v, 0x1000, 0xF7E01000u, 0},
        wrapping{v, 0x1000, ~0ull - 3, 8}, frameBuffer{v, 0, 0xD0000000u, 0x1000},
        otherPage{v, 0x2000, 0xF7E02000u, 0x1000}, gpioPage{v, 0x1000, 0xF7E01000u, 0x1000},
        huge{v, 0x1000, 0xF7E01000u, 0xFFFFF900u}, over4GiB{v, 0x6000, 0xF7E06000u, 0x100001000ull},
        pastPage{v, 0x60D0, 0xF7E060D0u, 0xF40};
    struct OldMap {  // layout 1: {version, length, address}
        std::uint32_t version, length;
        std::uint64_t address;
    } const layout1{v, 0x10000, 0xF7E00000u};
    const OvnVxdConfigRead absent{v, 0x0300, 0, 4}, outside{v, 0x0300, 0xFE, 4},
        oldVersion{v + 1, 0x0300, 0, 4};
    const OvnVxdConfigWrite bar{v, 0x0300, 0x10, 4, 0xFFFFFFFFu};
    const OvnVxdUnmap unknown{v, 0x101};
    constexpr std::uint32_t kAnswer = sizeof(OvnVxdMapAnswer);
    const Refusal refusals[] = {
        {"map RAM", OVNVXD_IOCTL_MAP, &ram, sizeof ram, kAnswer, ERROR_ACCESS_DENIED},
        {"map a frame buffer", OVNVXD_IOCTL_MAP, &frameBuffer, sizeof frameBuffer, kAnswer,
         ERROR_ACCESS_DENIED},
        {"map a page of an aperture that is not granted", OVNVXD_IOCTL_MAP, &otherPage,
         sizeof otherPage, kAnswer, ERROR_ACCESS_DENIED},
        {"map a GPIO page where no card is", OVNVXD_IOCTL_MAP, &gpioPage, sizeof gpioPage, kAnswer,
         ERROR_ACCESS_DENIED},
        {"map 0xFFFFF900 bytes", OVNVXD_IOCTL_MAP, &huge, sizeof huge, kAnswer,
         kErrorInvalidUserBuffer},
        {"map more than 4 GiB", OVNVXD_IOCTL_MAP, &over4GiB, sizeof over4GiB, kAnswer,
         kErrorInvalidUserBuffer},
        {"map past the end of a granted page", OVNVXD_IOCTL_MAP, &pastPage, sizeof pastPage,
         kAnswer, kErrorInvalidUserBuffer},
        {"map zero bytes", OVNVXD_IOCTL_MAP, &empty, sizeof empty, kAnswer,
         ERROR_INVALID_PARAMETER},
        {"map a range that wraps", OVNVXD_IOCTL_MAP, &wrapping, sizeof wrapping, kAnswer,
         ERROR_INVALID_PARAMETER},
        {"map with the old request layout", OVNVXD_IOCTL_MAP, &layout1, sizeof layout1, kAnswer,
         ERROR_BAD_LENGTH},
        {"map with a short request", OVNVXD_IOCTL_MAP, &ram, sizeof ram - 8, kAnswer,
         ERROR_BAD_LENGTH},
        {"map with a short answer buffer", OVNVXD_IOCTL_MAP, &ram, sizeof ram, 8, ERROR_BAD_LENGTH},
        {"read an absent function", OVNVXD_IOCTL_CONFIG_READ, &absent, sizeof absent,
         sizeof(OvnVxdConfigReadAnswer), kErrorNoSuchDevice},
        {"read past the configuration space", OVNVXD_IOCTL_CONFIG_READ, &outside, sizeof outside,
         sizeof(OvnVxdConfigReadAnswer), ERROR_INVALID_PARAMETER},
        {"request of another version", OVNVXD_IOCTL_CONFIG_READ, &oldVersion, sizeof oldVersion,
         sizeof(OvnVxdConfigReadAnswer), ERROR_REVISION_MISMATCH},
        {"write a BAR of an absent function", OVNVXD_IOCTL_CONFIG_WRITE, &bar, sizeof bar, 0,
         kErrorNoSuchDevice},
        {"unmap a mapping never made", OVNVXD_IOCTL_UNMAP, &unknown, sizeof unknown, 0,
         ERROR_INVALID_HANDLE},
        {"unknown request", OVNVXD_IOCTL(0x9FF), &unknown, sizeof unknown, 0,
         ERROR_INVALID_FUNCTION},
    };
    for (const Refusal& r : refusals) {
        const unsigned long got = Ask(*device, r.code, r.request, r.inLength, r.outLength);
        Check(r.what, got == r.expected, got, r.expected);
    }
}

// Each result of the driver core with the NTSTATUS the driver completes it with and the Win32
// error this system makes of that.
void PrintResultTable() {
    using ToDosError = ULONG(WINAPI*)(LONG);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto toDos = reinterpret_cast<ToDosError>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    for (int r = 0; r < OVNVXD_RESULT_COUNT; ++r) {
        const OvnVxdResult result = static_cast<OvnVxdResult>(r);
        const std::uint32_t status = OvnVxdStatusOf(result);
        std::printf("RESULT %-26s NTSTATUS 0x%08X Win32 %lu\n", OvnVxdResultName(result),
                    static_cast<unsigned>(status),
                    toDos ? toDos(static_cast<LONG>(status)) : 0xFFFFFFFFul);
    }
}

}  // namespace

int main() {
    PrintResultTable();
    RawRequests();
    ThroughTheLibrary();
    return g_failures;
}
