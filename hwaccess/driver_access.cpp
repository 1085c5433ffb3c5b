// The six thin operations over the driver-access library's exports, with their entry-point cache.
#include "hwaccess/driver_access.h"

#include <atomic>

namespace {

// Entry points are resolved on the main thread before the per-card workers start; afterwards the
// workers only read them. Relaxed atomics cost a plain load on x86 and keep the reads race-free.
std::atomic<void*> g_module{nullptr};
std::atomic<CsReadWriteFn> g_csReadWrite{nullptr};
std::atomic<MemReadFn> g_memRead{nullptr};
std::atomic<MemWriteFn> g_memWrite{nullptr};
std::atomic<MemMap64Fn> g_memMap64{nullptr};
std::atomic<MemUnmapFn> g_memUnmap{nullptr};
std::atomic<PciScanBusFn> g_pciScanBus{nullptr};

bool g_useTestExports = false;
tagDriverExports g_testExports{};

// The slow path of every operation: looks the export up and caches it when found. Kept out of line
// so that the register operations stay a check, a load and a call.
template <typename Fn>
[[gnu::noinline, gnu::cold]] Fn Resolve(std::atomic<Fn>& slot, Fn tagDriverExports::*member,
                                        const char* name) {
    Fn fn = nullptr;
    if (g_useTestExports) {
        fn = g_testExports.*member;
    } else {
        fn = reinterpret_cast<Fn>(driver_access::FindExport(g_module.load(), name));
    }
    if (fn != nullptr) slot.store(fn, std::memory_order_relaxed);
    return fn;
}

template <typename Fn>
inline Fn EntryPoint(std::atomic<Fn>& slot, Fn tagDriverExports::*member, const char* name) {
    Fn fn = slot.load(std::memory_order_relaxed);
    if (fn != nullptr) [[likely]]
        return fn;
    return Resolve(slot, member, name);
}

inline bool Loaded() { return g_module.load(std::memory_order_relaxed) != nullptr; }

}  // namespace

int csRead32(std::uint32_t device, std::uint32_t offset, std::uint32_t* value) {
    if (!Loaded()) return 0;
    CsReadWriteFn fn = EntryPoint(g_csReadWrite, &tagDriverExports::csReadWrite, "csReadWrite");
    if (fn == nullptr) return 0;
    return fn(device, offset, value, 4, 0);
}

int csWrite32(std::uint32_t device, std::uint32_t offset, std::uint32_t value) {
    if (!Loaded()) return 0;
    CsReadWriteFn fn = EntryPoint(g_csReadWrite, &tagDriverExports::csReadWrite, "csReadWrite");
    if (fn == nullptr) return 0;
    return fn(device, offset, &value, 4, 1);
}

int memRead32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t* value) {
    if (!Loaded()) return 0;
    MemReadFn fn = EntryPoint(g_memRead, &tagDriverExports::memRead, "memRead");
    if (fn == nullptr) return 0;
    return fn(mapping, offset, value, 4);
}

int memWrite32(std::uint32_t mapping, std::uint32_t offset, std::uint32_t value) {
    if (!Loaded()) return 0;
    MemWriteFn fn = EntryPoint(g_memWrite, &tagDriverExports::memWrite, "memWrite");
    if (fn == nullptr) return 0;
    return fn(mapping, offset, &value, 4);
}

std::uint32_t memMap64(std::uint64_t physicalAddress, std::uint32_t length) {
    if (!Loaded()) return 0;
    MemMap64Fn fn = EntryPoint(g_memMap64, &tagDriverExports::memMap64, "memMap64");
    if (fn == nullptr) return 0;
    return fn(static_cast<std::uint32_t>(physicalAddress),
              static_cast<std::uint32_t>(physicalAddress >> 32), length, 0);
}

int memUnmap(std::uint32_t mapping) {
    if (!Loaded()) return 0;
    MemUnmapFn fn = EntryPoint(g_memUnmap, &tagDriverExports::memUnmap, "memUnmap");
    if (fn == nullptr) return 0;
    return fn(mapping);
}

int pciScanBus(PciScanCallback callback, void* context) {
    if (!Loaded()) return 0;
    PciScanBusFn fn = EntryPoint(g_pciScanBus, &tagDriverExports::pciScanBus, "pciScanBus");
    if (fn == nullptr) return 0;
    return fn(callback, context);
}

bool LibraryDriverFailure(tagDriverAccessFailure& failure) {
    if (!Loaded() || g_useTestExports) return false;
    auto lastOpenError = reinterpret_cast<LastOpenErrorFn>(
        driver_access::FindExport(g_module.load(), "lastOpenError"));
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

namespace driver_access {

void* LoadedModule() { return g_module.load(); }

void SetLoadedModule(void* module) { g_module.store(module); }

void ResetForTesting() {
    g_module.store(nullptr);
    g_csReadWrite.store(nullptr);
    g_memRead.store(nullptr);
    g_memWrite.store(nullptr);
    g_memMap64.store(nullptr);
    g_memUnmap.store(nullptr);
    g_pciScanBus.store(nullptr);
    g_useTestExports = false;
    g_testExports = {};
}

void UseExportsForTesting(const tagDriverExports& exports) {
    ResetForTesting();
    g_useTestExports = true;
    g_testExports = exports;
    // Any non-null module counts as loaded; the test exports never dereference it.
    static int testModule = 0;
    g_module.store(&testModule);
}

}  // namespace driver_access
