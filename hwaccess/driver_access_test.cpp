// The thin driver-access operations: argument order, the not-loaded rule, the export cache, the
// installed replacement and the host loader.
#include "hwaccess/driver_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/sim_machine.h"

namespace {

struct tagCall {
    const char* name;
    std::uint64_t a, b, c, d;
    bool operator==(const tagCall&) const = default;
};

std::vector<tagCall> g_calls;
std::uint32_t g_readValue = 0;

int OVNVXD_CALL SpyCsReadWrite(std::uint32_t device, std::uint32_t offset, void* data,
                               std::uint32_t size, std::uint32_t direction) {
    std::uint32_t value = 0;
    if (direction == 0) {
        std::memcpy(data, &g_readValue, 4);
    } else {
        std::memcpy(&value, data, 4);
    }
    g_calls.push_back(
        {"csReadWrite", device, offset, size, (std::uint64_t{direction} << 32) | value});
    return 1;
}
int OVNVXD_CALL SpyMemRead(std::uint32_t mapping, std::uint32_t offset, void* data,
                           std::uint32_t size) {
    std::memcpy(data, &g_readValue, 4);
    g_calls.push_back({"memRead", mapping, offset, size, 0});
    return 1;
}
int OVNVXD_CALL SpyMemWrite(std::uint32_t mapping, std::uint32_t offset, const void* data,
                            std::uint32_t size) {
    std::uint32_t value = 0;
    std::memcpy(&value, data, 4);
    g_calls.push_back({"memWrite", mapping, offset, size, value});
    return 1;
}
std::uint32_t OVNVXD_CALL SpyMemMap64(std::uint32_t low, std::uint32_t high, std::uint32_t length,
                                      std::uint32_t flags) {
    g_calls.push_back({"memMap64", low, high, length, flags});
    return 0x33;
}
int OVNVXD_CALL SpyMemUnmap(std::uint32_t mapping) {
    g_calls.push_back({"memUnmap", mapping, 0, 0, 0});
    return 1;
}
int OVNVXD_CALL SpyPciScanBus(PciScanCallback callback, void* context) {
    g_calls.push_back({"pciScanBus", 0, 0, 0, 0});
    callback(0x0418, context);
    return 1;
}
int OVNVXD_CALL RecordHandle(std::uint32_t device, void* context) {
    static_cast<std::vector<std::uint32_t>*>(context)->push_back(device);
    return 0;
}

// A library module's six exports, found by their exported names.
struct tagSpyExports {
    CsReadWriteFn csReadWrite;
    MemReadFn memRead;
    MemWriteFn memWrite;
    MemMap64Fn memMap64;
    MemUnmapFn memUnmap;
    PciScanBusFn pciScanBus;
};
constexpr tagSpyExports kSpies{&SpyCsReadWrite, &SpyMemRead,  &SpyMemWrite,
                               &SpyMemMap64,    &SpyMemUnmap, &SpyPciScanBus};

tagSpyExports g_exports{};
std::vector<std::string> g_lookups;

void* FindSpyExport(void* module, const char* name) {
    if (module == nullptr) return nullptr;
    g_lookups.push_back(name);
    const std::string n = name;
    if (n == "csReadWrite") return reinterpret_cast<void*>(g_exports.csReadWrite);
    if (n == "memRead") return reinterpret_cast<void*>(g_exports.memRead);
    if (n == "memWrite") return reinterpret_cast<void*>(g_exports.memWrite);
    if (n == "memMap64") return reinterpret_cast<void*>(g_exports.memMap64);
    if (n == "memUnmap") return reinterpret_cast<void*>(g_exports.memUnmap);
    if (n == "pciScanBus") return reinterpret_cast<void*>(g_exports.pciScanBus);
    return nullptr;
}

CLibraryDriverAccess g_spyLibrary{&FindSpyExport};
int g_spyModule = 0;

// A loaded library with these exports receives the operations.
void UseExports(const tagSpyExports& exports) {
    g_exports = exports;
    g_spyLibrary.SetModule(&g_spyModule);
    driver_access::Install(&g_spyLibrary);
}

// Counts what reaches it; the library's own rules do not apply to it.
class CCountingAccess final : public CDriverAccess {
public:
    int CsRead32(std::uint32_t, std::uint32_t, std::uint32_t* value) override {
        *value = 7;
        return ++calls;
    }
    int CsWrite32(std::uint32_t, std::uint32_t, std::uint32_t) override { return ++calls; }
    int MemRead32(std::uint32_t, std::uint32_t, std::uint32_t*) override { return ++calls; }
    int MemWrite32(std::uint32_t, std::uint32_t, std::uint32_t) override { return ++calls; }
    std::uint32_t MemMap64(std::uint64_t, std::uint32_t) override { return 0x40u + ++calls; }
    int MemUnmap(std::uint32_t) override { return ++calls; }
    int PciScanBus(PciScanCallback, void*) override { return ++calls; }
    int calls = 0;
};

class DriverAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver_access::ResetForTesting();
        g_spyLibrary.SetModule(nullptr);
        g_calls.clear();
        g_lookups.clear();
        g_readValue = 0;
    }
    void TearDown() override { driver_access::ResetForTesting(); }
};

TEST_F(DriverAccessTest, OperationsBeforeOpenReturnZeroAndTouchNothing) {
    std::uint32_t value = 0xDEADBEEF;
    std::vector<std::uint32_t> handles;
    EXPECT_EQ(csRead32(0x300, 0, &value), 0);
    EXPECT_EQ(csWrite32(0x300, 4, 1), 0);
    EXPECT_EQ(memRead32(1, 0x60D0, &value), 0);
    EXPECT_EQ(memWrite32(1, 0x60D0, 1), 0);
    EXPECT_EQ(memMap64(0x4E0000000ull, 0x10000), 0u);
    EXPECT_EQ(memUnmap(1), 0);
    EXPECT_EQ(pciScanBus(&RecordHandle, &handles), 0);
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_TRUE(handles.empty());
}

TEST_F(DriverAccessTest, OperationsPassTheirArgumentsInTheLibrarysOrder) {
    UseExports(kSpies);
    std::uint32_t value = 0;
    g_readValue = 0x68281002;
    EXPECT_EQ(csRead32(0x0300, 0x2C, &value), 1);
    EXPECT_EQ(value, 0x68281002u);
    csWrite32(0x0300, 0x04, 0x00100406);
    g_readValue = 0x12345678;
    memRead32(7, 0x60D8, &value);
    EXPECT_EQ(value, 0x12345678u);
    memWrite32(7, 0x179C, 0x20000020);
    EXPECT_EQ(memMap64(0x00000004E0000000ull, 0x10000), 0x33u);
    memUnmap(0x33);
    std::vector<std::uint32_t> handles;
    pciScanBus(&RecordHandle, &handles);

    const std::vector<tagCall> expected{
        {"csReadWrite", 0x0300, 0x2C, 4, 0},
        {"csReadWrite", 0x0300, 0x04, 4, (std::uint64_t{1} << 32) | 0x00100406},
        {"memRead", 7, 0x60D8, 4, 0},
        {"memWrite", 7, 0x179C, 4, 0x20000020},
        {"memMap64", 0xE0000000, 0x4, 0x10000, 0},
        {"memUnmap", 0x33, 0, 0, 0},
        {"pciScanBus", 0, 0, 0, 0},
    };
    EXPECT_EQ(g_calls, expected);
    EXPECT_EQ(handles, (std::vector<std::uint32_t>{0x0418}));
}

TEST_F(DriverAccessTest, MissingExportReturnsZeroAndLeavesTheOthersWorking) {
    tagSpyExports exports = kSpies;
    exports.memRead = nullptr;
    UseExports(exports);
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(memRead32(7, 0, &value), 0);
    EXPECT_EQ(memRead32(7, 0, &value), 0);  // looked up again, still missing
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_EQ(memWrite32(7, 0, 5), 1);
    EXPECT_EQ(memWrite32(7, 0, 6), 1);
    EXPECT_EQ(g_calls.size(), 2u);
    // The missing one is asked for at every call, the found one once.
    EXPECT_EQ(g_lookups, (std::vector<std::string>{"memRead", "memRead", "memWrite"}));
}

TEST_F(DriverAccessTest, BothConfigurationOperationsGoThroughCsReadWrite) {
    tagSpyExports exports{};
    exports.csReadWrite = &SpyCsReadWrite;
    UseExports(exports);
    std::uint32_t value = 0;
    EXPECT_EQ(csRead32(1, 0, &value), 1);
    EXPECT_EQ(csWrite32(1, 0, 2), 1);
    EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(DriverAccessTest, InstalledOperationsReplaceTheLibraryUntilRemoved) {
    sim::InstallMachine(sim::DefaultMachineConfig());
    ASSERT_TRUE(OpenDriverAccess());
    CCountingAccess counting;
    driver_access::Install(&counting);
    std::uint32_t value = 0;
    EXPECT_EQ(csRead32(0x0300, 0x00, &value), 1);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(memMap64(0x4E0000000ull, 0x10000), 0x42u);
    EXPECT_EQ(counting.calls, 2);
    // Only the library itself can say why it did not reach its driver.
    tagDriverAccessFailure failure;
    EXPECT_FALSE(LibraryDriverFailure(failure));

    driver_access::Install(nullptr);
    EXPECT_EQ(csRead32(0x0300, 0x00, &value), 1);
    EXPECT_EQ(value, 0x68281002u) << "the simulated library's first card answers again";
    EXPECT_EQ(counting.calls, 2);
}

TEST_F(DriverAccessTest, EachInstallRoutesToTheLastInstalledWhateverItsKind) {
    CCountingAccess counting;
    std::uint32_t value = 0;
    driver_access::Install(&counting);
    UseExports(kSpies);  // a library over its own exports, after another kind
    EXPECT_EQ(memWrite32(7, 0x179C, 1), 1);
    EXPECT_EQ(g_calls.size(), 1u);
    driver_access::Install(&counting);  // and another kind after a library
    EXPECT_EQ(memRead32(7, 0x60D8, &value), 1);
    EXPECT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(counting.calls, 1);
    driver_access::Install(nullptr);  // the process's library, not loaded here
    EXPECT_EQ(memWrite32(7, 0x179C, 1), 0);
    EXPECT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(counting.calls, 1);
}

TEST_F(DriverAccessTest, HostLoaderOpensWhenTheSimulatorOffersTheLibrary) {
    sim::InstallMachine(sim::DefaultMachineConfig());
    EXPECT_EQ(driver_access::LoadedModule(), nullptr);
    ASSERT_TRUE(OpenDriverAccess());
    EXPECT_NE(driver_access::LoadedModule(), nullptr);
    EXPECT_TRUE(OpenDriverAccess());  // later opens only count
    std::uint32_t identity = 0;
    csRead32(0x0300, 0x00, &identity);
    EXPECT_EQ(identity, 0x68281002u);
}

TEST_F(DriverAccessTest, HostLoaderFailsWithoutTheLibrary) {
    sim::MachineConfig config = sim::DefaultMachineConfig();
    config.driverLibrary = false;
    sim::InstallMachine(config);
    EXPECT_FALSE(OpenDriverAccess());
    EXPECT_EQ(driver_access::LoadedModule(), nullptr);
    std::uint32_t identity = 0xDEADBEEF;
    EXPECT_EQ(csRead32(0x0300, 0x00, &identity), 0);
    EXPECT_EQ(identity, 0xDEADBEEFu);
}

}  // namespace
