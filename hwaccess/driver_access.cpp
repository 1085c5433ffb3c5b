// The six thin operations over the driver-access library's exports, with their entry-point cache,
// and the free functions that forward to the installed operations.
#include "hwaccess/driver_access.h"

namespace {

// The process's one library, and where the operations go. All are constant-initialised, so an
// operation called during another file's static initialisation already finds them; they change
// only when a test installs its own object.
// Process-wide: a process has one module of the library, reached by the free functions below.
// NOLINTNEXTLINE(cert-err58-cpp): constinit, so no constructor runs (or throws) at startup
constinit CLibraryDriverAccess g_library{&driver_access::FindExport};
// Process-wide: every caller of the free functions reaches the installed operations through it.
constinit std::atomic<CDriverAccess*> g_installed{&g_library};
// The installed object when it is a library (the product's, or a test's over its own exports), so
// that it is called directly; null when the installed object is some other kind. Process-wide with
// g_installed, which it follows.
constinit std::atomic<CLibraryDriverAccess*> g_installedLibrary{&g_library};

inline CDriverAccess& Installed() { return *g_installed.load(std::memory_order_relaxed); }

// Calls `op` on the installed operations. A library is called directly (its class is final), so a
// register access costs one more load and compare than a bare export.
template <typename Op>
inline auto Forward(Op op) {
    CLibraryDriverAccess* library = g_installedLibrary.load(std::memory_order_relaxed);
    if (library != nullptr) [[likely]]
        return op(*library);
    return op(Installed());
}

}  // namespace

// The slow path of every operation: looks the export up and caches it when found. Kept out of line
// so that the register operations stay a check, a load and a call.
template <typename Fn>
[[gnu::noinline, gnu::cold]] Fn CLibraryDriverAccess::Resolve(std::atomic<Fn>& slot,
                                                              const char* name) {
    Fn fn = reinterpret_cast<Fn>(findExport_(module_.load(), name));
    if (fn != nullptr) slot.store(fn, std::memory_order_relaxed);
    return fn;
}

template <typename Fn>
inline Fn CLibraryDriverAccess::EntryPoint(std::atomic<Fn>& slot, const char* name) {
    if (module_.load(std::memory_order_relaxed) == nullptr) return nullptr;
    Fn fn = slot.load(std::memory_order_relaxed);
    if (fn != nullptr) [[likely]]
        return fn;
    return Resolve(slot, name);
}

void CLibraryDriverAccess::SetModule(void* module) {
    module_.store(module);
    csReadWrite_.store(nullptr);
    memRead_.store(nullptr);
    memWrite_.store(nullptr);
    memMap64_.store(nullptr);
    memUnmap_.store(nullptr);
    pciScanBus_.store(nullptr);
}

int CLibraryDriverAccess::CsRead32(std::uint32_t device, std::uint32_t offset,
                                   std::uint32_t* value) {
    CsReadWriteFn fn = EntryPoint(csReadWrite_, "csReadWrite");
    if (fn == nullptr) return 0;
    return fn(device, offset, value, 4, 0);
}

int CLibraryDriverAccess::CsWrite32(std::uint32_t device, std::uint32_t offset,
                                    std::uint32_t value) {
    CsReadWriteFn fn = EntryPoint(csReadWrite_, "csReadWrite");
    if (fn == nullptr) return 0;
    return fn(device, offset, &value, 4, 1);
}

int CLibraryDriverAccess::MemRead32(std::uint32_t mapping, std::uint32_t offset,
                                    std::uint32_t* value) {
    MemReadFn fn = EntryPoint(memRead_, "memRead");
    if (fn == nullptr) return 0;
    return fn(mapping, offset, value, 4);
}

int CLibraryDriverAccess::MemWrite32(std::uint32_t mapping, std::uint32_t offset,
                                     std::uint32_t value) {
    MemWriteFn fn = EntryPoint(memWrite_, "memWrite");
    if (fn == nullptr) return 0;
    return fn(mapping, offset, &value, 4);
}

std::uint32_t CLibraryDriverAccess::MemMap64(std::uint64_t physicalAddress, std::uint32_t length) {
    MemMap64Fn fn = EntryPoint(memMap64_, "memMap64");
    if (fn == nullptr) return 0;
    return fn(static_cast<std::uint32_t>(physicalAddress),
              static_cast<std::uint32_t>(physicalAddress >> 32), length, 0);
}

int CLibraryDriverAccess::MemUnmap(std::uint32_t mapping) {
    MemUnmapFn fn = EntryPoint(memUnmap_, "memUnmap");
    if (fn == nullptr) return 0;
    return fn(mapping);
}

int CLibraryDriverAccess::PciScanBus(PciScanCallback callback, void* context) {
    PciScanBusFn fn = EntryPoint(pciScanBus_, "pciScanBus");
    if (fn == nullptr) return 0;
    return fn(callback, context);
}

bool CLibraryDriverAccess::DriverFailure(tagDriverAccessFailure& failure) const {
    void* module = module_.load();
    if (module == nullptr) return false;
    auto lastOpenError = reinterpret_cast<LastOpenErrorFn>(findExport_(module, "lastOpenError"));
    if (lastOpenError == nullptr) return false;
    tagOvnVxdOpenFailure reported{};
    if (lastOpenError(&reported) == 0) return false;
    reported.call[sizeof reported.call - 1] = '\0';
    failure = {};
    failure.step = DriverAccessStep::kDriver;
    failure.error = ovn::CallError(reported.call, reported.code);
    failure.subject = "OvnVxd";
    return true;
}

int csRead32(std::uint32_t device, std::uint32_t offset, std::uint32_t* value) {
    return Forward([&](auto& access) { return access.CsRead32(device, offset, value); });
}

int csWrite32(std::uint32_t device, std::uint32_t offset, std::uint32_t value) {
    return Forward([&](auto& access) { return access.CsWrite32(device, offset, value); });
}

int memRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value) {
    return Forward([&](auto& access) { return access.MemRead32(mapping, offset, value); });
}

int memWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value) {
    return Forward([&](auto& access) { return access.MemWrite32(mapping, offset, value); });
}

std::uint32_t memMap64(std::uint64_t physicalAddress, std::uint32_t length) {
    return Forward([&](auto& access) { return access.MemMap64(physicalAddress, length); });
}

int memUnmap(std::uint32_t mapping) {
    return Forward([&](auto& access) { return access.MemUnmap(mapping); });
}

int pciScanBus(PciScanCallback callback, void* context) {
    return Forward([&](auto& access) { return access.PciScanBus(callback, context); });
}

bool LibraryDriverFailure(tagDriverAccessFailure& failure) {
    if (&Installed() != &g_library) return false;
    return g_library.DriverFailure(failure);
}

namespace driver_access {

CLibraryDriverAccess& Library() { return g_library; }

void* LoadedModule() { return g_library.Module(); }

void SetLoadedModule(void* module) { g_library.SetModule(module); }

void Install(CDriverAccess* access) {
    if (access == nullptr) access = &g_library;
    // Cleared first, so that a reader never pairs the new object with the old library.
    g_installedLibrary.store(nullptr);
    g_installed.store(access);
    g_installedLibrary.store(dynamic_cast<CLibraryDriverAccess*>(access));
}

void ResetForTesting() {
    g_library.SetModule(nullptr);
    Install(nullptr);
}

}  // namespace driver_access
