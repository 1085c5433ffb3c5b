// A GPIO register file with a JTAG pin view, standing in for a card in the port and player tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

struct tagGpioWrite {
    std::uint32_t offset;
    std::uint32_t value;
    bool operator==(const tagGpioWrite&) const = default;
};

// TMS and TDI as a rising TCK edge on GPIO_OUTPUT presents them.
struct tagTckEdge {
    bool tms;
    bool tdi;
};

// Routes the driver-access operations to one process-wide fake while installed (one thread).
class CFakeGpio {
public:
    static CFakeGpio& Install();
    static void Uninstall();

    std::vector<std::uint32_t> Writes(std::uint32_t offset) const;
    std::vector<bool> TmsOfEdges() const;
    // TAP states after each edge, by the IEEE 1149.1 state diagram, starting from `from`.
    std::vector<std::uint8_t> StatesOfEdges(std::uint8_t from = 0) const;
    // Lengths of the runs of clocks spent in Run-Test/Idle (the run-test waits), in order.
    std::vector<int> IdleRuns(std::uint8_t from = 0) const;
    void ClearLog();

    std::map<std::uint32_t, std::uint32_t> registers;
    std::map<std::uint32_t, std::uint32_t> config;  // PCI configuration dwords
    std::vector<tagGpioWrite> writes;
    std::vector<tagTckEdge> edges;
    std::size_t inputReads = 0;
    bool logWrites = true;
    // GPIO_INPUT as the card would show it; the default drives TDO low.
    std::function<std::uint32_t(const CFakeGpio&)> input;
};

// Driver exports that count accesses and do nothing else, for measuring the port's own cost.
struct tagCountingDriver {
    static void Install();
    static std::uint64_t writes;
    static std::uint64_t reads;
};
