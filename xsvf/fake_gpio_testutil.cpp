// A GPIO register file with a JTAG pin view, standing in for a card in the port and player tests.
#include "xsvf/fake_gpio_testutil.h"

#include "xsvf/jtag_port.h"

namespace {

// Register exports that read as zeros and count, as a library without configuration space.
int OVNVXD_CALL CountRead(std::uint32_t, std::uint32_t, void* data, std::uint32_t) {
    ++tagCountingDriver::reads;
    *static_cast<std::uint32_t*>(data) = 0;
    return 1;
}

int OVNVXD_CALL CountWrite(std::uint32_t, std::uint32_t, const void*, std::uint32_t) {
    ++tagCountingDriver::writes;
    return 1;
}

}  // namespace

std::uint64_t tagCountingDriver::writes = 0;
std::uint64_t tagCountingDriver::reads = 0;

std::uint32_t CFakeGpio::ReadRegister(std::uint32_t offset) {
    const std::uint32_t value = registers[offset];
    if (offset != GPIO_INPUT) return value;
    ++inputReads;
    return input ? input(*this) : 0;
}

void CFakeGpio::WriteRegister(std::uint32_t offset, std::uint32_t value) {
    if (offset == GPIO_OUTPUT) {
        std::uint32_t previous = registers[GPIO_OUTPUT];
        if ((previous & GPIO_TCK_MASK) == 0 && (value & GPIO_TCK_MASK) != 0) {
            edges.push_back({(value & GPIO_TMS_MASK) != 0, (value & GPIO_TDI_MASK) != 0});
        }
    }
    registers[offset] = value;
    if (logWrites) writes.push_back({offset, value});
}

CFakeGpio& CFakeGpio::Install() {
    static CFakeGpio instance;
    instance = CFakeGpio{};
    instance.CFakeDriverAccess::Install();
    return instance;
}

void CFakeGpio::Uninstall() { CFakeDriverAccess::Uninstall(); }

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

namespace {

// The standard's state diagram, written out independently of the player's walk table.
std::uint8_t nextTapState(std::uint8_t s, bool tms) {
    static const std::uint8_t kOnZero[16] = {1, 1, 3, 4, 4, 6, 6, 4, 1, 10, 11, 11, 13, 13, 11, 1};
    static const std::uint8_t kOnOne[16] = {0, 2, 9, 5, 5, 8, 7, 8, 2, 0, 12, 12, 15, 14, 15, 2};
    return tms ? kOnOne[s] : kOnZero[s];
}

}  // namespace

std::vector<std::uint8_t> CFakeGpio::StatesOfEdges(std::uint8_t from) const {
    std::vector<std::uint8_t> states;
    std::uint8_t s = from;
    for (const auto& e : edges) states.push_back(s = nextTapState(s, e.tms));
    return states;
}

std::vector<int> CFakeGpio::IdleRuns(std::uint8_t from) const {
    std::vector<int> runs;
    std::uint8_t s = from;
    int run = 0;
    for (const auto& e : edges) {
        if (s == 1 && !e.tms) {
            ++run;
        } else if (run > 0) {
            runs.push_back(run);
            run = 0;
        }
        s = nextTapState(s, e.tms);
    }
    if (run > 0) runs.push_back(run);
    return runs;
}

void CFakeGpio::ClearLog() {
    writes.clear();
    edges.clear();
    inputReads = 0;
}

void tagCountingDriver::Install() {
    writes = 0;
    reads = 0;
    // Through the library's own path, as the product's register accesses go.
    static CExportsLibrary library({nullptr, CountRead, CountWrite, nullptr, nullptr, nullptr});
    library.Install();
}
