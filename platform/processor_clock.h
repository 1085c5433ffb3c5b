// The first processor's current clock from the processor power information, with the query's
// buffer sized for every processor of the host however many there are.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// One record per processor, as the ProcessorInformation level fills it (24 bytes each).
struct tagProcessorPowerRecord {
    std::uint32_t number;
    std::uint32_t maxMhz;
    std::uint32_t currentMhz;
    std::uint32_t mhzLimit;
    std::uint32_t maxIdleState;
    std::uint32_t currentIdleState;
};
static_assert(sizeof(tagProcessorPowerRecord) == 24, "one record per processor, 24 bytes each");

// The status the query returns when the buffer holds fewer records than there are processors.
inline constexpr std::int32_t kStatusBufferTooSmall = static_cast<std::int32_t>(0xC0000023u);

// Most records ever offered: far above any host's processor count, so a query that always
// reports a short buffer cannot make the loop run away.
inline constexpr std::uint32_t kMaxProcessorRecords = 8192;

// Fills `bytes` bytes at `buffer` with processor records; returns the system's status (0 success).
using ProcessorPowerQuery = std::function<std::int32_t(void* buffer, std::uint32_t bytes)>;

// CurrentMhz of the first record. The buffer starts at `processorCount` records (at least one) and
// doubles while the query reports it too small. 0 when the clock cannot be read.
std::uint32_t FirstProcessorMhz(std::uint32_t processorCount, const ProcessorPowerQuery& query);

}  // namespace platform
