// A GPIO register file with a JTAG pin view, standing in for a card in the port and player tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "hwaccess/fake_driver_access_testutil.h"

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

// The card's GPIO registers with the JTAG pins on them; one process-wide instance is installed at a
// time (one thread).
class CFakeGpio : public CFakeDriverAccess {
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

    std::vector<tagGpioWrite> writes;
    std::vector<tagTckEdge> edges;
    std::size_t inputReads = 0;
    bool logWrites = true;
    // GPIO_INPUT as the card would show it; the default drives TDO low.
    std::function<std::uint32_t(const CFakeGpio&)> input;

protected:
    std::uint32_t ReadRegister(std::uint32_t offset) override;
    void WriteRegister(std::uint32_t offset, std::uint32_t value) override;
};

// Register operations that count accesses and do nothing else, for measuring the port's own cost.
struct tagCountingDriver {
    static void Install();
    static std::uint64_t writes;
    static std::uint64_t reads;
};
