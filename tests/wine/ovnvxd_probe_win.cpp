// Asks the running OvnVxd.sys every kind of request, as a caller of the installed OvnVxd.dll and
// as a raw caller of the device, and checks which are answered and which are refused, with which
// error. Prints one line per check; the exit code is the number of failed checks.
// usage: ovnvxd_probe.exe
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "hwaccess/ovnvxd_abi.h"
#include "tools/ovnvxd/ovnvxd_device.h"
#include "tools/ovnvxd/ovnvxd_protocol.h"

namespace {

int g_failures = 0;
// What STATUS_NO_SUCH_DEVICE becomes; not every SDK header names it.
constexpr unsigned long kErrorNoSuchDevice = 433;

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
    Check("memMap64 of RAM gives no mapping", map(0x00100000u, 0, 0x1000, 0) == 0, 0, 0);
    std::uint32_t value = 0;
    Check("csReadWrite of an absent function fails", config(0x0300, 0, &value, 4, 0) == 0, value,
          0);
}

void RawRequests() {
    tagOvnVxdOpenError error;
    std::unique_ptr<COvnVxdTransport> device = OpenOvnVxdDevice(error);
    // Wine may still be tearing down the driver instance of the previous process.
    for (int attempt = 0; !device && attempt < 3; ++attempt) {
        Sleep(2000);
        device = OpenOvnVxdDevice(error);
    }
    if (!device)
        std::printf("device: %s failed with %u\n", error.call, static_cast<unsigned>(error.code));
    Check("device opens", device != nullptr, error.code, 0);
    if (!device) return;
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
    const OvnVxdMap ram{v, 0x1000, 0x00100000u}, empty{v, 0, 0xF0000000u},
        wrapping{v, 8, ~0ull - 3};
    const OvnVxdConfigRead absent{v, 0x0300, 0, 4}, outside{v, 0x0300, 0xFE, 4},
        oldVersion{v + 1, 0x0300, 0, 4};
    const OvnVxdConfigWrite bar{v, 0x0300, 0x10, 4, 0xFFFFFFFFu};
    const OvnVxdUnmap unknown{v, 0x101};
    const Refusal refusals[] = {
        {"map RAM", OVNVXD_IOCTL_MAP, &ram, sizeof ram, sizeof(OvnVxdMapAnswer),
         ERROR_ACCESS_DENIED},
        {"map zero bytes", OVNVXD_IOCTL_MAP, &empty, sizeof empty, sizeof(OvnVxdMapAnswer),
         ERROR_INVALID_PARAMETER},
        {"map a range that wraps", OVNVXD_IOCTL_MAP, &wrapping, sizeof wrapping,
         sizeof(OvnVxdMapAnswer), ERROR_INVALID_PARAMETER},
        {"map with a short request", OVNVXD_IOCTL_MAP, &ram, sizeof ram - 8,
         sizeof(OvnVxdMapAnswer), ERROR_BAD_LENGTH},
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

}  // namespace

int main() {
    RawRequests();
    ThroughTheLibrary();
    return g_failures;
}
