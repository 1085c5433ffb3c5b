// Binary interface of the driver-access library OvnVxd.dll: the six exports the utility calls, and
// the one it asks why the driver could not be reached.
//
// Calling convention: __cdecl on Windows for both the exports and the scan callback, exported with
// undecorated names ("csReadWrite", ...) on i686 and x86_64 alike. The caller's pointer types are
// declared here too, from the same macro, so a mismatch cannot compile.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define OVNVXD_CALL __cdecl
#if defined(OVNVXD_BUILDING_LIBRARY)
#define OVNVXD_EXPORT __declspec(dllexport)
#else
#define OVNVXD_EXPORT
#endif
#else
#define OVNVXD_CALL
#define OVNVXD_EXPORT
#endif

extern "C" {

// Called once for every PCI function; context is the pointer given to pciScanBus.
typedef int(OVNVXD_CALL* PciScanCallback)(std::uint32_t device, void* context);

typedef int(OVNVXD_CALL* CsReadWriteFn)(std::uint32_t device, std::uint32_t offset, void* data,
                                        std::uint32_t size, std::uint32_t direction);
typedef int(OVNVXD_CALL* MemReadFn)(std::uint32_t mapping, std::uint32_t offset, void* data,
                                    std::uint32_t size);
typedef int(OVNVXD_CALL* MemWriteFn)(std::uint32_t mapping, std::uint32_t offset, const void* data,
                                     std::uint32_t size);
typedef std::uint32_t(OVNVXD_CALL* MemMap64Fn)(std::uint32_t addressLow, std::uint32_t addressHigh,
                                               std::uint32_t length, std::uint32_t flags);
typedef int(OVNVXD_CALL* MemUnmapFn)(std::uint32_t mapping);
typedef int(OVNVXD_CALL* PciScanBusFn)(PciScanCallback callback, void* context);

// The optional export "lastOpenError": why the library's last attempt to open its driver's device
// (creating, configuring and starting the driver's service first when needed) failed. Returns 1
// and fills `failure` when that attempt failed; 0 when the device is open or was never tried.
struct tagOvnVxdOpenFailure {
    char call[32];       // the system call that failed, NUL-terminated
    std::uint32_t code;  // its error code
};
typedef int(OVNVXD_CALL* LastOpenErrorFn)(tagOvnVxdOpenFailure* failure);

}  // extern "C"
