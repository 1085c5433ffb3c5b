// The thin driver-access operations: argument order, the not-loaded rule and the host loader.
#include "hwaccess/driver_access.h"

#include <gtest/gtest.h>

#include <cstring>
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

constexpr tagDriverExports kSpies{&SpyCsReadWrite, &SpyMemRead,  &SpyMemWrite,
                                  &SpyMemMap64,    &SpyMemUnmap, &SpyPciScanBus};

class DriverAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver_access::ResetForTesting();
        g_calls.clear();
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
    driver_access::UseExportsForTesting(kSpies);
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
    tagDriverExports exports = kSpies;
    exports.memRead = nullptr;
    driver_access::UseExportsForTesting(exports);
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(memRead32(7, 0, &value), 0);
    EXPECT_EQ(memRead32(7, 0, &value), 0);  // looked up again, still missing
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_EQ(memWrite32(7, 0, 5), 1);
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(DriverAccessTest, BothConfigurationOperationsGoThroughCsReadWrite) {
    tagDriverExports exports{};
    exports.csReadWrite = &SpyCsReadWrite;
    driver_access::UseExportsForTesting(exports);
    std::uint32_t value = 0;
    EXPECT_EQ(csRead32(1, 0, &value), 1);
    EXPECT_EQ(csWrite32(1, 0, 2), 1);
    EXPECT_EQ(g_calls.size(), 2u);
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
