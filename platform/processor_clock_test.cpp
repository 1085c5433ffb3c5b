// Processor clock query: the buffer grows to the host's processor count; failures read as 0.
#include "platform/processor_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A host with `processors` processors: a short buffer is refused as the system refuses it.
struct tagFakeHost {
    std::uint32_t processors;
    std::uint32_t mhz;
    std::vector<std::uint32_t> offeredBytes;

    platform::ProcessorPowerQuery Query() {
        return [this](void* buffer, std::uint32_t bytes) -> std::int32_t {
            offeredBytes.push_back(bytes);
            if (bytes < processors * sizeof(platform::tagProcessorPowerRecord)) {
                return platform::kStatusBufferTooSmall;
            }
            auto* records = static_cast<platform::tagProcessorPowerRecord*>(buffer);
            for (std::uint32_t i = 0; i < processors; ++i) records[i].currentMhz = mhz + i;
            return 0;
        };
    }
};

TEST(ProcessorClock, BufferSizedForEveryProcessorReadsAtOnce) {
    tagFakeHost host{96, 2400, {}};
    EXPECT_EQ(platform::FirstProcessorMhz(96, host.Query()), 2400u);
    EXPECT_EQ(host.offeredBytes, std::vector<std::uint32_t>{96 * 24});
}

TEST(ProcessorClock, CountSeenThroughA32BitViewGrowsUntilTheQueryAccepts) {
    // A 32-bit process on a 64-bit host with 96 logical processors is told of 32 at most.
    tagFakeHost host{96, 3100, {}};
    EXPECT_EQ(platform::FirstProcessorMhz(32, host.Query()), 3100u);
    EXPECT_EQ(host.offeredBytes, (std::vector<std::uint32_t>{32 * 24, 64 * 24, 128 * 24}));
}

TEST(ProcessorClock, NoCountStillOffersOneRecord) {
    tagFakeHost host{1, 1800, {}};
    EXPECT_EQ(platform::FirstProcessorMhz(0, host.Query()), 1800u);
    EXPECT_EQ(host.offeredBytes, std::vector<std::uint32_t>{24});
}

TEST(ProcessorClock, OtherFailuresAndEndlessShortBuffersReadAsZero) {
    std::uint32_t calls = 0;
    EXPECT_EQ(platform::FirstProcessorMhz(8,
                                          [&](void*, std::uint32_t) -> std::int32_t {
                                              ++calls;
                                              return static_cast<std::int32_t>(0xC0000022u);
                                          }),
              0u);
    EXPECT_EQ(calls, 1u);

    tagFakeHost huge{platform::kMaxProcessorRecords + 1, 2000, {}};
    EXPECT_EQ(platform::FirstProcessorMhz(4, huge.Query()), 0u);
    EXPECT_EQ(huge.offeredBytes.back(), platform::kMaxProcessorRecords * 24);
    EXPECT_LE(huge.offeredBytes.size(), 16u);
}

}  // namespace
