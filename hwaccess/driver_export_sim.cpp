// Looks up an export of the simulated driver-access library: its six functions by name.
#include <cstring>

#include "hwaccess/driver_access.h"

// The simulated library's exports, linked in from the simulated machine. Declared in a namespace of
// their own: the operations of driver_access.h share some of their names and parameter lists.
namespace sim_exports {
extern "C" {
int OVNVXD_CALL csReadWrite(std::uint32_t device, std::uint32_t offset, void* data,
                            std::uint32_t size, std::uint32_t direction);
int OVNVXD_CALL memRead(std::uint32_t mapping, std::uint32_t offset, void* data,
                        std::uint32_t size);
int OVNVXD_CALL memWrite(std::uint32_t mapping, std::uint32_t offset, const void* data,
                         std::uint32_t size);
std::uint32_t OVNVXD_CALL memMap64(std::uint32_t addressLow, std::uint32_t addressHigh,
                                   std::uint32_t length, std::uint32_t flags);
int OVNVXD_CALL memUnmap(std::uint32_t mapping);
int OVNVXD_CALL pciScanBus(PciScanCallback callback, void* context);
}
}  // namespace sim_exports

namespace driver_access {

namespace {

struct ExportEntry {
    const char* name;
    void* function;
};

}  // namespace

void* FindExport(void* module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    // Typed pointers first, so a signature drift in the simulator fails to compile here.
    static const CsReadWriteFn kCsReadWrite = &sim_exports::csReadWrite;
    static const MemReadFn kMemRead = &sim_exports::memRead;
    static const MemWriteFn kMemWrite = &sim_exports::memWrite;
    static const MemMap64Fn kMemMap64 = &sim_exports::memMap64;
    static const MemUnmapFn kMemUnmap = &sim_exports::memUnmap;
    static const PciScanBusFn kPciScanBus = &sim_exports::pciScanBus;
    static const ExportEntry kTable[] = {
        {"csReadWrite", reinterpret_cast<void*>(kCsReadWrite)},
        {"memRead", reinterpret_cast<void*>(kMemRead)},
        {"memWrite", reinterpret_cast<void*>(kMemWrite)},
        {"memMap64", reinterpret_cast<void*>(kMemMap64)},
        {"memUnmap", reinterpret_cast<void*>(kMemUnmap)},
        {"pciScanBus", reinterpret_cast<void*>(kPciScanBus)},
    };
    for (const ExportEntry& entry : kTable) {
        if (std::strcmp(entry.name, name) == 0) return entry.function;
    }
    return nullptr;
}

}  // namespace driver_access
