// The utility's contact with the driver-access library: opening it and its six thin operations.
#pragma once

#include <atomic>
#include <cstdint>

#include "components/ovnvxd/ovnvxd_abi.h"
#include "hwaccess/driver_access_failure.h"

// True when the library is loaded (installing its components first when it cannot be loaded).
bool OpenDriverAccess();

// Why the last OpenDriverAccess failed; step kNone after a success.
const tagDriverAccessFailure& DriverAccessFailure();

// Why the loaded library could not reach its driver, as the library itself reports it (its optional
// export "lastOpenError"). False when it reports nothing: the driver answered, the library does
// not tell, or the operations go elsewhere (driver_access::Install).
bool LibraryDriverFailure(tagDriverAccessFailure& failure);

// The operations, forwarded to the installed CDriverAccess (the loaded library unless a test
// installed another). Each returns 0 on failure; callers set read destinations to 0 first.
int csRead32(std::uint32_t device, std::uint32_t offset, std::uint32_t* value);
int csWrite32(std::uint32_t device, std::uint32_t offset, std::uint32_t value);
int memRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value);
int memWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value);
std::uint32_t memMap64(std::uint64_t physicalAddress, std::uint32_t length);
int memUnmap(std::uint32_t mapping);
int pciScanBus(PciScanCallback callback, void* context);

// The driver-access operations as one replaceable object: the loaded library in the product, a
// fake or a bridge to the library's client in the tests.
class CDriverAccess {
public:
    virtual ~CDriverAccess() = default;
    virtual int CsRead32(std::uint32_t device, std::uint32_t offset, std::uint32_t* value) = 0;
    virtual int CsWrite32(std::uint32_t device, std::uint32_t offset, std::uint32_t value) = 0;
    virtual int MemRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value) = 0;
    virtual int MemWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value) = 0;
    virtual std::uint32_t MemMap64(std::uint64_t physicalAddress, std::uint32_t length) = 0;
    virtual int MemUnmap(std::uint32_t mapping) = 0;
    virtual int PciScanBus(PciScanCallback callback, void* context) = 0;
};

// The operations over a library module's exports. Each returns 0 and does nothing while no module
// is set; each looks its export up on first use and again after a failed lookup.
class CLibraryDriverAccess final : public CDriverAccess {
public:
    // Looks up one export of `module`; null when it is not there.
    using FindExportFn = void* (*)(void* module, const char* name);

    explicit constexpr CLibraryDriverAccess(FindExportFn findExport) : findExport_(findExport) {}

    void* Module() const { return module_.load(); }
    // Sets the module and forgets every cached entry point.
    void SetModule(void* module);
    // What the module's optional "lastOpenError" export reports (see LibraryDriverFailure).
    bool DriverFailure(tagDriverAccessFailure& failure) const;

    int CsRead32(std::uint32_t device, std::uint32_t offset, std::uint32_t* value) override;
    int CsWrite32(std::uint32_t device, std::uint32_t offset, std::uint32_t value) override;
    int MemRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value) override;
    int MemWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value) override;
    std::uint32_t MemMap64(std::uint64_t physicalAddress, std::uint32_t length) override;
    int MemUnmap(std::uint32_t mapping) override;
    int PciScanBus(PciScanCallback callback, void* context) override;

private:
    template <typename Fn>
    Fn EntryPoint(std::atomic<Fn>& slot, const char* name);
    template <typename Fn>
    Fn Resolve(std::atomic<Fn>& slot, const char* name);

    FindExportFn findExport_;
    // Entry points are resolved on the main thread before the per-card workers start; afterwards
    // the workers only read them. Relaxed atomics cost a plain load on x86 and keep the reads
    // race-free.
    std::atomic<void*> module_{nullptr};
    std::atomic<CsReadWriteFn> csReadWrite_{nullptr};
    std::atomic<MemReadFn> memRead_{nullptr};
    std::atomic<MemWriteFn> memWrite_{nullptr};
    std::atomic<MemMap64Fn> memMap64_{nullptr};
    std::atomic<MemUnmapFn> memUnmap_{nullptr};
    std::atomic<PciScanBusFn> pciScanBus_{nullptr};
};

namespace driver_access {

// The library this process loads: one, as the process has one module of it.
CLibraryDriverAccess& Library();

// The loaded library's module handle, or null. Set by the loader of this edition.
void* LoadedModule();
void SetLoadedModule(void* module);

// Looks up one export of the loaded module (GetProcAddress on Windows, the simulator's table on the
// host edition). Null when it is not there.
void* FindExport(void* module, const char* name);

// Routes the operations to `access` until the next Install or ResetForTesting; null routes them
// back to the library. The object must outlive its installation (tests only, set on one thread
// before any worker starts).
void Install(CDriverAccess* access);

// Forgets the module, every cached entry point and any installed object (tests only).
void ResetForTesting();

}  // namespace driver_access
