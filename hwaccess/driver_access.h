// The utility's contact with the driver-access library: opening it and its six thin operations.
#pragma once

#include <cstdint>

#include "hwaccess/driver_access_failure.h"
#include "components/ovnvxd/ovnvxd_abi.h"

// True when the library is loaded (installing its components first when it cannot be loaded).
bool OpenDriverAccess();

// Why the last OpenDriverAccess failed; step kNone after a success.
const tagDriverAccessFailure& DriverAccessFailure();

// Why the loaded library could not reach its driver, as the library itself reports it (its optional
// export "lastOpenError"). False when it reports nothing: the driver answered, or the library does
// not tell.
bool LibraryDriverFailure(tagDriverAccessFailure& failure);

// The operations. Each returns 0 and does nothing while the library is not loaded; each looks its
// export up on first use and again after a failed lookup. Callers set read destinations to 0 first.
int csRead32(std::uint32_t device, std::uint32_t offset, std::uint32_t* value);
int csWrite32(std::uint32_t device, std::uint32_t offset, std::uint32_t value);
int memRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value);
int memWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value);
std::uint32_t memMap64(std::uint64_t physicalAddress, std::uint32_t length);
int memUnmap(std::uint32_t mapping);
int pciScanBus(PciScanCallback callback, void* context);

// The six library entry points, as tests hand them in instead of a loaded library.
struct tagDriverExports {
    CsReadWriteFn csReadWrite;
    MemReadFn memRead;
    MemWriteFn memWrite;
    MemMap64Fn memMap64;
    MemUnmapFn memUnmap;
    PciScanBusFn pciScanBus;
};

namespace driver_access {

// The loaded library's module handle, or null. Set by the loader of this edition.
void* LoadedModule();
void SetLoadedModule(void* module);

// Looks up one export of the loaded module (GetProcAddress on Windows, the simulator's table on the
// host edition). Null when it is not there.
void* FindExport(void* module, const char* name);

// Forgets the module and every cached entry point (tests only).
void ResetForTesting();

// Routes the operations to these functions as if a library were loaded; a null member behaves as
// a missing export. Lasts until ResetForTesting (tests only).
void UseExportsForTesting(const tagDriverExports& exports);

}  // namespace driver_access
