// A card register file for engine tests: reads back what was written, logs every access.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "hwaccess/fake_driver_access_testutil.h"

struct tagRegAccess {
    bool write;
    std::uint32_t offset;
    std::uint32_t value;
    bool operator==(const tagRegAccess&) const = default;
};

// The GPU's I2C engine registers on one mapping; one process-wide instance is installed at a time.
// Tests run on one thread; Install() starts from an empty file and log.
class CFakeRegisters : public CFakeDriverAccess {
public:
    static constexpr std::uint32_t kMapping = 0x5A;
    static constexpr std::uint32_t kControl = 0x60D0;
    static constexpr std::uint32_t kStatus = 0x60D8;
    static constexpr std::uint32_t kTransaction = 0x60E4;
    static constexpr std::uint32_t kData = 0x60E8;

    static CFakeRegisters& Install();
    static void Uninstall();

    // Writes to this offset, in order.
    std::vector<std::uint32_t> Writes(std::uint32_t offset) const;
    std::size_t Reads(std::uint32_t offset) const;

    std::vector<tagRegAccess> log;

    // Transactions started (CONTROL written with the go bit) from this 0-based one on never
    // finish; -1: all finish.
    int goNeverDoneFrom = -1;
    int goCount = 0;
    // Bytes the bus device sends: each DATA read takes the next one into bits 15..8.
    std::deque<std::uint8_t> received;

protected:
    std::uint32_t ReadRegister(std::uint32_t offset) override;
    void WriteRegister(std::uint32_t offset, std::uint32_t value) override;
};
