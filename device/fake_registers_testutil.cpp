// The fake register file behind memRead32/memWrite32 in the engine tests.
#include "device/fake_registers_testutil.h"

#include <cstring>

#include "hwaccess/driver_access.h"

namespace {

CFakeRegisters* g_registers = nullptr;

int OVNVXD_CALL FakeRead(std::uint32_t mapping, std::uint32_t offset, void* data,
                         std::uint32_t size) {
    if (g_registers == nullptr || mapping != CFakeRegisters::kMapping || size != 4) return 0;
    CFakeRegisters& r = *g_registers;
    std::uint32_t value = r.values[offset];
    if (offset == CFakeRegisters::kStatus) {
        const bool neverDone = r.goNeverDoneFrom >= 0 && r.goCount > r.goNeverDoneFrom;
        value = neverDone ? 0u : 0x10u;
    } else if (offset == CFakeRegisters::kData && !r.received.empty()) {
        value = (std::uint32_t{r.received.front()} << 8) | 1;
        r.received.pop_front();
    }
    std::memcpy(data, &value, 4);
    r.log.push_back({false, offset, value});
    return 1;
}

int OVNVXD_CALL FakeWrite(std::uint32_t mapping, std::uint32_t offset, const void* data,
                          std::uint32_t size) {
    if (g_registers == nullptr || mapping != CFakeRegisters::kMapping || size != 4) return 0;
    CFakeRegisters& r = *g_registers;
    std::uint32_t value = 0;
    std::memcpy(&value, data, 4);
    r.values[offset] = value;
    r.log.push_back({true, offset, value});
    if (offset == CFakeRegisters::kControl && (value & 1) != 0) ++r.goCount;
    return 1;
}

}  // namespace

CFakeRegisters& CFakeRegisters::Install() {
    static CFakeRegisters registers;
    registers = CFakeRegisters();
    g_registers = &registers;
    tagDriverExports exports{};
    exports.memRead = &FakeRead;
    exports.memWrite = &FakeWrite;
    driver_access::UseExportsForTesting(exports);
    return registers;
}

void CFakeRegisters::Uninstall() {
    driver_access::ResetForTesting();
    g_registers = nullptr;
}

std::vector<std::uint32_t> CFakeRegisters::Writes(std::uint32_t offset) const {
    std::vector<std::uint32_t> writes;
    for (const tagRegAccess& access : log) {
        if (access.write && access.offset == offset) writes.push_back(access.value);
    }
    return writes;
}

std::size_t CFakeRegisters::Reads(std::uint32_t offset) const {
    std::size_t reads = 0;
    for (const tagRegAccess& access : log) {
        if (!access.write && access.offset == offset) ++reads;
    }
    return reads;
}
