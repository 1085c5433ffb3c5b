// The I2C engine registers behind memRead32/memWrite32 in the engine tests.
#include "device/fake_registers_testutil.h"

std::uint32_t CFakeRegisters::ReadRegister(std::uint32_t offset) {
    std::uint32_t value = registers[offset];
    if (offset == kStatus) {
        const bool neverDone = goNeverDoneFrom >= 0 && goCount > goNeverDoneFrom;
        value = neverDone ? 0u : 0x10u;
    } else if (offset == kData && !received.empty()) {
        value = (std::uint32_t{received.front()} << 8) | 1;
        received.pop_front();
    }
    log.push_back({false, offset, value});
    return value;
}

void CFakeRegisters::WriteRegister(std::uint32_t offset, std::uint32_t value) {
    registers[offset] = value;
    log.push_back({true, offset, value});
    if (offset == kControl && (value & 1) != 0) ++goCount;
}

CFakeRegisters& CFakeRegisters::Install() {
    static CFakeRegisters fake;
    fake = CFakeRegisters();
    fake.onlyMapping = kMapping;
    fake.CFakeDriverAccess::Install();
    return fake;
}

void CFakeRegisters::Uninstall() { CFakeDriverAccess::Uninstall(); }

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
