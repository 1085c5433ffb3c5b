// A card register file for engine tests: reads back what was written, logs every access.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

struct tagRegAccess {
    bool write;
    std::uint32_t offset;
    std::uint32_t value;
    bool operator==(const tagRegAccess&) const = default;
};

// Routes memRead32/memWrite32 to one process-wide register file while installed. Tests run on one
// thread; Install() starts from an empty file and log.
class CFakeRegisters {
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

    std::map<std::uint32_t, std::uint32_t> values;
    std::vector<tagRegAccess> log;

    // Transactions started (CONTROL written with the go bit) from this 0-based one on never
    // finish; -1: all finish.
    int goNeverDoneFrom = -1;
    int goCount = 0;
    // Bytes the bus device sends: each DATA read takes the next one into bits 15..8.
    std::deque<std::uint8_t> received;
};
