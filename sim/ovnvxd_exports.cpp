// The six exports of the simulated OvnVxd.dll, operating on the process-wide simulated machine, and
// the one that tells why its driver could not be reached (the machine file's "driverFault").
#include "sim/ovnvxd_exports.h"

#include <cstring>
#include <type_traits>

#include "components/ovnvxd/ovnvxd_abi.h"
#include "sim/late_writes.h"
#include "sim/mapping_table.h"
#include "sim/sim_card.h"
#include "sim/sim_machine.h"

namespace {

// As the real library: without its driver's device, every request that needs the driver fails.
bool DriverUnreachable() { return !sim::CurrentMachine().Config().driverFault.call.empty(); }

}  // namespace

extern "C" {

OVNVXD_EXPORT int OVNVXD_CALL csReadWrite(std::uint32_t device, std::uint32_t offset, void* data,
                                          std::uint32_t size, std::uint32_t direction) {
    if (DriverUnreachable()) return 0;
    return sim::CurrentMachine().ConfigAccess(device, offset, data, size, direction);
}

OVNVXD_EXPORT int OVNVXD_CALL memRead(std::uint32_t mapping, std::uint32_t offset, void* data,
                                      std::uint32_t size) {
    std::uint32_t reg;
    sim::SimCard* card = sim::ResolveMapping(mapping, offset, size, reg);
    if (!card || !data) return 0;
    std::uint32_t value = card->ReadRegister(reg);
    std::memcpy(data, &value, sizeof value);
    return 1;
}

OVNVXD_EXPORT int OVNVXD_CALL memWrite(std::uint32_t mapping, std::uint32_t offset,
                                       const void* data, std::uint32_t size) {
    std::uint32_t reg;
    sim::SimCard* card = sim::ResolveMapping(mapping, offset, size, reg);
    if (!card || !data) return 0;
    std::uint32_t value;
    std::memcpy(&value, data, sizeof value);
    sim::NoteRegisterWrite(reg, value);
    card->WriteRegister(reg, value);
    return 1;
}

OVNVXD_EXPORT std::uint32_t OVNVXD_CALL memMap64(std::uint32_t addressLow,
                                                 std::uint32_t addressHigh, std::uint32_t length,
                                                 std::uint32_t /*flags*/) {
    if (DriverUnreachable()) return 0;
    std::uint64_t address = (std::uint64_t{addressHigh} << 32) | addressLow;
    return sim::CurrentMachine().Map(address, length);
}

OVNVXD_EXPORT int OVNVXD_CALL memUnmap(std::uint32_t mapping) {
    return sim::CurrentMachine().Unmap(mapping);
}

OVNVXD_EXPORT int OVNVXD_CALL pciScanBus(PciScanCallback callback, void* context) {
    if (DriverUnreachable()) return 0;
    return sim::CurrentMachine().ScanBus(callback, context);
}

OVNVXD_EXPORT int OVNVXD_CALL lastOpenError(tagOvnVxdOpenFailure* failure) {
    const sim::DriverFault& fault = sim::CurrentMachine().Config().driverFault;
    if (failure == nullptr || fault.call.empty()) return 0;
    std::memset(failure->call, 0, sizeof failure->call);
    fault.call.copy(failure->call, sizeof failure->call - 1);
    failure->code = fault.code;
    return 1;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&csReadWrite), CsReadWriteFn>);
static_assert(std::is_same_v<decltype(&memRead), MemReadFn>);
static_assert(std::is_same_v<decltype(&memWrite), MemWriteFn>);
static_assert(std::is_same_v<decltype(&memMap64), MemMap64Fn>);
static_assert(std::is_same_v<decltype(&memUnmap), MemUnmapFn>);
static_assert(std::is_same_v<decltype(&pciScanBus), PciScanBusFn>);
static_assert(std::is_same_v<decltype(&lastOpenError), LastOpenErrorFn>);

void* SimFindExport(const char* name) {
    if (!name) return nullptr;
    struct Entry {
        const char* name;
        void* function;
    };
    static const Entry kExports[] = {
        {"csReadWrite", reinterpret_cast<void*>(&csReadWrite)},
        {"memRead", reinterpret_cast<void*>(&memRead)},
        {"memWrite", reinterpret_cast<void*>(&memWrite)},
        {"memMap64", reinterpret_cast<void*>(&memMap64)},
        {"memUnmap", reinterpret_cast<void*>(&memUnmap)},
        {"pciScanBus", reinterpret_cast<void*>(&pciScanBus)},
        {"lastOpenError", reinterpret_cast<void*>(&lastOpenError)},
    };
    for (const auto& e : kExports) {
        if (std::strcmp(e.name, name) == 0) return e.function;
    }
    return nullptr;
}
