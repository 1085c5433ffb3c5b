// A GPIO register file with a JTAG pin view, standing in for a card in the port and player tests.
#include "xsvf/fake_gpio_testutil.h"

#include <cstring>

#include "hwaccess/driver_access.h"
#include "xsvf/jtag_port.h"

namespace {

CFakeGpio* g_fake = nullptr;

int OVNVXD_CALL fakeConfig(std::uint32_t, std::uint32_t offset, void* data, std::uint32_t,
                           std::uint32_t direction) {
    std::uint32_t value = 0;
    if (direction == 1) {
        std::memcpy(&value, data, 4);
        g_fake->config[offset] = value;
    } else {
        value = g_fake->config[offset];
        std::memcpy(data, &value, 4);
    }
    return 1;
}

int OVNVXD_CALL fakeRead(std::uint32_t, std::uint32_t offset, void* data, std::uint32_t) {
    std::uint32_t value = g_fake->registers[offset];
    if (offset == GPIO_INPUT) {
        ++g_fake->inputReads;
        value = g_fake->input ? g_fake->input(*g_fake) : 0;
    }
    std::memcpy(data, &value, 4);
    return 1;
}

int OVNVXD_CALL fakeWrite(std::uint32_t, std::uint32_t offset, const void* data, std::uint32_t) {
    std::uint32_t value = 0;
    std::memcpy(&value, data, 4);
    if (offset == GPIO_OUTPUT) {
        std::uint32_t previous = g_fake->registers[GPIO_OUTPUT];
        if ((previous & GPIO_TCK_MASK) == 0 && (value & GPIO_TCK_MASK) != 0) {
            g_fake->edges.push_back({(value & GPIO_TMS_MASK) != 0, (value & GPIO_TDI_MASK) != 0});
        }
    }
    g_fake->registers[offset] = value;
    if (g_fake->logWrites) g_fake->writes.push_back({offset, value});
    return 1;
}

int OVNVXD_CALL countRead(std::uint32_t, std::uint32_t, void* data, std::uint32_t) {
    ++tagCountingDriver::reads;
    std::memset(data, 0, 4);
    return 1;
}

int OVNVXD_CALL countWrite(std::uint32_t, std::uint32_t, const void*, std::uint32_t) {
    ++tagCountingDriver::writes;
    return 1;
}

}  // namespace

std::uint64_t tagCountingDriver::writes = 0;
std::uint64_t tagCountingDriver::reads = 0;

CFakeGpio& CFakeGpio::Install() {
    static CFakeGpio instance;
    instance = CFakeGpio{};
    g_fake = &instance;
    driver_access::UseExportsForTesting(
        {fakeConfig, fakeRead, fakeWrite, nullptr, nullptr, nullptr});
    return instance;
}

void CFakeGpio::Uninstall() {
    driver_access::ResetForTesting();
    g_fake = nullptr;
}

std::vector<std::uint32_t> CFakeGpio::Writes(std::uint32_t offset) const {
    std::vector<std::uint32_t> values;
    for (const auto& w : writes) {
        if (w.offset == offset) values.push_back(w.value);
    }
    return values;
}

std::vector<bool> CFakeGpio::TmsOfEdges() const {
    std::vector<bool> tms;
    for (const auto& e : edges) tms.push_back(e.tms);
    return tms;
}

void CFakeGpio::ClearLog() {
    writes.clear();
    edges.clear();
    inputReads = 0;
}

void tagCountingDriver::Install() {
    writes = 0;
    reads = 0;
    driver_access::UseExportsForTesting(
        {nullptr, countRead, countWrite, nullptr, nullptr, nullptr});
}
