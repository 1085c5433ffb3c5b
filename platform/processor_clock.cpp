// The first processor's current clock from a processor power query sized for every processor.
#include "platform/processor_clock.h"

#include <algorithm>
#include <vector>

namespace platform {

std::uint32_t FirstProcessorMhz(std::uint32_t processorCount, const ProcessorPowerQuery& query) {
    // A count read from a 32-bit view of a larger host is too small; the query then says so and
    // the buffer grows until every processor has its record.
    std::uint32_t records = std::clamp<std::uint32_t>(processorCount, 1, kMaxProcessorRecords);
    for (;;) {
        std::vector<tagProcessorPowerRecord> buffer(records, tagProcessorPowerRecord{});
        const std::int32_t status = query(
            buffer.data(), static_cast<std::uint32_t>(records * sizeof(tagProcessorPowerRecord)));
        if (status == 0) return buffer[0].currentMhz;
        if (status != kStatusBufferTooSmall || records == kMaxProcessorRecords) return 0;
        records = std::min(records * 2, kMaxProcessorRecords);
    }
}

}  // namespace platform
