// The driver core's protocol: what it grants and what it refuses, with the result of each refusal.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tools/ovnvxd/ovnvxd_direct_transport.h"
#include "tools/ovnvxd/sim_hal_testutil.h"

namespace {

constexpr std::uint32_t kVersion = OVNVXD_PROTOCOL_VERSION;

class DriverCoreTest : public ::testing::Test {
protected:
    // One request through the handle; the answer (if any) lands in `answer`.
    template <class Request>
    OvnVxdResult Send(std::uint32_t code, const Request& request, std::uint32_t outLength = 0,
                      void* answer = nullptr, COvnVxdDirectTransport* through = nullptr) {
        std::vector<std::uint8_t> buffer(std::max<std::size_t>(sizeof request, outLength) + 8);
        std::memcpy(buffer.data(), &request, sizeof request);
        std::uint32_t answered = 0, error = 0;
        COvnVxdDirectTransport& transport = through ? *through : handle;
        if (!transport.Control(code, buffer.data(), sizeof request, outLength, &answered, &error)) {
            return static_cast<OvnVxdResult>(error);
        }
        EXPECT_EQ(answered, outLength);
        if (answer != nullptr) std::memcpy(answer, buffer.data(), answered);
        return OVNVXD_OK;
    }
    OvnVxdResult Map(std::uint64_t address, std::uint32_t length, OvnVxdMapAnswer* answer = nullptr,
                     COvnVxdDirectTransport* through = nullptr) {
        OvnVxdMapAnswer local{};
        return Send(OVNVXD_IOCTL_MAP, OvnVxdMap{kVersion, length, address}, sizeof local,
                    answer ? answer : &local, through);
    }
    OvnVxdResult Write(std::uint32_t device, std::uint32_t offset, std::uint32_t value,
                       std::uint32_t size = 4) {
        return Send(OVNVXD_IOCTL_CONFIG_WRITE,
                    OvnVxdConfigWrite{kVersion, device, offset, size, value});
    }
    OvnVxdResult Read(std::uint32_t device, std::uint32_t offset, std::uint32_t size,
                      std::uint32_t* value) {
        OvnVxdConfigReadAnswer answer{};
        OvnVxdResult result =
            Send(OVNVXD_IOCTL_CONFIG_READ, OvnVxdConfigRead{kVersion, device, offset, size},
                 sizeof answer, &answer);
        *value = answer.value;
        return result;
    }
    std::uint32_t Dword(std::uint32_t device, std::uint32_t offset) {
        return m.machine.FindFunction(device >> 8, (device >> 3) & 31, device & 7)->Dword(offset);
    }

    tagDriverTestMachine m;
    COvnVxdDirectTransport handle{m.hal.Hal()};
};

TEST_F(DriverCoreTest, MapsOnlyInsideAK740MemoryBar) {
    OvnVxdMapAnswer answer{};
    ASSERT_EQ(Map(m.Aperture(0), 0x10000, &answer), OVNVXD_OK);
    EXPECT_NE(answer.mapping, 0u);
    EXPECT_EQ(answer.userAddress, reinterpret_cast<std::uintptr_t>(m.aperture[0]));
    // A range inside the aperture that does not start on a page: the whole pages are mapped and
    // the answer points at the requested byte.
    ASSERT_EQ(Map(m.Aperture(1) + 0x2010, 0x20, &answer), OVNVXD_OK);
    EXPECT_EQ(answer.userAddress, reinterpret_cast<std::uintptr_t>(m.aperture[1] + 0x2010));
    EXPECT_EQ(m.hal.MapCalls().back(), std::make_pair(m.Aperture(1) + 0x2000, 0x1000u));

    const std::size_t granted = m.hal.MapCalls().size();
    EXPECT_EQ(Map(tagDriverTestMachine::kRamBase, 0x1000), OVNVXD_NOT_IN_K740_BAR);
    EXPECT_EQ(Map(tagDriverTestMachine::kOtherBarBase, 0x1000), OVNVXD_NOT_IN_K740_BAR);
    EXPECT_EQ(Map(0xE000, 0x100), OVNVXD_NOT_IN_K740_BAR);  // card 0's I/O BAR
    EXPECT_EQ(Map(0, 0x1000), OVNVXD_NOT_IN_K740_BAR);      // no BAR is ever at 0
    EXPECT_EQ(Map(m.Aperture(0) + 0xF000, 0x2000), OVNVXD_BEYOND_BAR);
    EXPECT_EQ(Map(m.Aperture(1) + 0xFFFC, 8), OVNVXD_BEYOND_BAR);
    EXPECT_EQ(Map(m.Aperture(1) + 0x10000, 4), OVNVXD_NOT_IN_K740_BAR);
    EXPECT_EQ(Map(m.Aperture(0), 0), OVNVXD_BAD_PARAMETER);
    EXPECT_EQ(Map(~0ull - 3, 8), OVNVXD_BAD_PARAMETER);
    EXPECT_EQ(m.hal.MapCalls().size(), granted) << "a refused range reached the system";
}

TEST_F(DriverCoreTest, FrameBufferBarIsAK740BarToo) {
    // BAR0 of card 1 is a 32-bit 256 MiB frame buffer at 0xD0000000: inside, but no RAM is behind
    // it here, so the system's mapping fails after the checks passed.
    EXPECT_EQ(Map(0xD0000000u, 0x1000), OVNVXD_MAP_FAILED);
    EXPECT_EQ(Map(0xDFFFF000u, 0x2000), OVNVXD_BEYOND_BAR);
}

TEST_F(DriverCoreTest, ConfigurationWritesOnlyTheUtilitysBits) {
    const std::uint32_t card = tagDriverTestMachine::kCard0;
    const std::uint32_t command = Dword(card, 0x04);
    EXPECT_EQ(Write(card, 0x04, command | 0x4), OVNVXD_WRITE_REFUSED);          // bus master
    EXPECT_EQ(Write(card, 0x04, (command | 0x2) | 0x1), OVNVXD_WRITE_REFUSED);  // I/O too
    EXPECT_EQ(Write(card, 0x10, 0xFFFFFFFFu), OVNVXD_WRITE_REFUSED);
    EXPECT_EQ(Write(card, 0x3C, 0x0000010Bu), OVNVXD_WRITE_REFUSED);
    EXPECT_EQ(Write(card, 0x04, command | 0x2, 2), OVNVXD_WRITE_REFUSED);
    EXPECT_EQ(Write(card, 0xE0, Dword(card, 0xE0) | 0x10), OVNVXD_WRITE_REFUSED);
    EXPECT_EQ(Dword(card, 0x04), command);

    ASSERT_EQ(Write(card, 0x04, command | 0x2), OVNVXD_OK);
    EXPECT_EQ(Dword(card, 0x04), command | 0x2);
    EXPECT_EQ(Write(card, 0x04, Dword(card, 0x04) & ~0x2u), OVNVXD_WRITE_REFUSED);  // clearing
    ASSERT_EQ(Dword(card, 0xE0) & 3, 3u);
    ASSERT_EQ(Write(card, 0xE0, Dword(card, 0xE0) & ~1u), OVNVXD_OK);
    ASSERT_EQ(Write(card, 0xE0, Dword(card, 0xE0) & ~3u), OVNVXD_OK);
    EXPECT_EQ(Dword(card, 0xE0) & 3, 0u);
    EXPECT_EQ(Write(card, 0xE0, Dword(card, 0xE0) | 1u), OVNVXD_WRITE_REFUSED);  // setting

    EXPECT_EQ(Write(tagDriverTestMachine::kOtherMaker, 0x04, 0x2), OVNVXD_NOT_K740);
    EXPECT_EQ(Write(tagDriverTestMachine::kAudio, 0x04, 0x2), OVNVXD_NOT_K740);
    EXPECT_EQ(Write(0x0700, 0x04, 0x2), OVNVXD_NO_DEVICE);
    EXPECT_EQ(Write(0x10000, 0x04, 0x2), OVNVXD_BAD_PARAMETER);
    EXPECT_EQ(Write(card, 0xFE, 0, 4), OVNVXD_BAD_PARAMETER);
}

TEST_F(DriverCoreTest, CommandWriteLeavesTheStatusHalfAlone) {
    const std::uint32_t card = tagDriverTestMachine::kCard1;
    const std::uint32_t command = Dword(card, 0x04);
    ASSERT_EQ(Write(card, 0x04, 0xFFFF0000u | command | 0x2), OVNVXD_OK);
    for (const auto& access : m.machine.FindFunction(4, 0, 0)->Accesses()) {
        if (access.write) {
            EXPECT_TRUE(access.offset == 0x04 && access.size == 2);
        }
    }
}

TEST_F(DriverCoreTest, ConfigurationReadsAnyFunctionInsideTheSpace) {
    std::uint32_t value = 0;
    ASSERT_EQ(Read(tagDriverTestMachine::kOtherMaker, 0x00, 4, &value), OVNVXD_OK);
    EXPECT_EQ(value, 0x68281002u);
    ASSERT_EQ(Read(tagDriverTestMachine::kCard0, 0x0E, 1, &value), OVNVXD_OK);
    EXPECT_EQ(value, 0x80u);
    EXPECT_EQ(Read(0x0700, 0x00, 4, &value), OVNVXD_NO_DEVICE);
    EXPECT_EQ(Read(tagDriverTestMachine::kCard0, 0x100, 4, &value), OVNVXD_BAD_PARAMETER);
    EXPECT_EQ(Read(tagDriverTestMachine::kCard0, 0xFE, 4, &value), OVNVXD_BAD_PARAMETER);
    EXPECT_EQ(Read(tagDriverTestMachine::kCard0, 0x00, 3, &value), OVNVXD_BAD_PARAMETER);
    EXPECT_EQ(Read(0x10000, 0x00, 4, &value), OVNVXD_BAD_PARAMETER);
}

TEST_F(DriverCoreTest, MalformedRequestsAreRefusedBeforeAnythingIsTouched) {
    struct Case {
        std::uint32_t code, inLength, outLength;
    };
    const Case cases[] = {
        {OVNVXD_IOCTL_CONFIG_READ, sizeof(OvnVxdConfigRead) - 1, sizeof(OvnVxdConfigReadAnswer)},
        {OVNVXD_IOCTL_CONFIG_READ, sizeof(OvnVxdConfigRead), sizeof(OvnVxdConfigReadAnswer) - 4},
        {OVNVXD_IOCTL_CONFIG_READ, sizeof(OvnVxdConfigRead) + 4, sizeof(OvnVxdConfigReadAnswer)},
        {OVNVXD_IOCTL_CONFIG_WRITE, sizeof(OvnVxdConfigWrite) - 4, 0},
        {OVNVXD_IOCTL_CONFIG_WRITE, sizeof(OvnVxdConfigWrite), 4},
        {OVNVXD_IOCTL_ENUMERATE, sizeof(OvnVxdEnumerate), sizeof(OvnVxdEnumerateAnswer) - 2},
        {OVNVXD_IOCTL_ENUMERATE, 0, sizeof(OvnVxdEnumerateAnswer)},
        {OVNVXD_IOCTL_MAP, sizeof(OvnVxdMap) - 8, sizeof(OvnVxdMapAnswer)},
        {OVNVXD_IOCTL_MAP, sizeof(OvnVxdMap), 8},
        {OVNVXD_IOCTL_UNMAP, 4, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> buffer(1024, kVersion);
        std::uint32_t answered = 7, error = 0;
        EXPECT_FALSE(
            handle.Control(c.code, buffer.data(), c.inLength, c.outLength, &answered, &error));
        EXPECT_EQ(error, OVNVXD_BAD_LENGTH) << std::hex << c.code << " " << c.inLength;
        EXPECT_EQ(answered, 0u);
    }
    OvnVxdConfigReadAnswer value{};
    EXPECT_EQ(Send(OVNVXD_IOCTL_CONFIG_READ,
                   OvnVxdConfigRead{kVersion + 1, tagDriverTestMachine::kCard0, 0, 4},
                   sizeof(OvnVxdConfigReadAnswer), &value),
              OVNVXD_BAD_VERSION);
    EXPECT_EQ(Send(OVNVXD_IOCTL(0x905), OvnVxdUnmap{kVersion, 1}), OVNVXD_UNKNOWN_REQUEST);
    // The same function with another transfer method is another request.
    EXPECT_EQ(Send(OVNVXD_IOCTL_CONFIG_READ | 2u,
                   OvnVxdConfigRead{kVersion, tagDriverTestMachine::kCard0, 0, 4},
                   sizeof(OvnVxdConfigReadAnswer), &value),
              OVNVXD_UNKNOWN_REQUEST);
    EXPECT_EQ(Write(tagDriverTestMachine::kCard0, 0x04, 0), OVNVXD_WRITE_REFUSED);
    EXPECT_TRUE(m.hal.MapCalls().empty());
}

TEST_F(DriverCoreTest, MappingsBelongToTheHandleThatMadeThem) {
    COvnVxdDirectTransport other{m.hal.Hal()};
    OvnVxdMapAnswer mine{}, theirs{};
    ASSERT_EQ(Map(m.Aperture(0), 0x10000, &mine), OVNVXD_OK);
    ASSERT_EQ(Map(m.Aperture(1), 0x10000, &theirs, &other), OVNVXD_OK);
    EXPECT_EQ(Send(OVNVXD_IOCTL_UNMAP, OvnVxdUnmap{kVersion, theirs.mapping}),
              OVNVXD_NO_SUCH_MAPPING);
    EXPECT_EQ(Send(OVNVXD_IOCTL_UNMAP, OvnVxdUnmap{kVersion, 0}), OVNVXD_NO_SUCH_MAPPING);
    EXPECT_EQ(Send(OVNVXD_IOCTL_UNMAP, OvnVxdUnmap{kVersion, mine.mapping + 0x100}),
              OVNVXD_NO_SUCH_MAPPING);  // same slot, another generation
    EXPECT_EQ(m.hal.LiveMappings(), 2);

    EXPECT_EQ(Send(OVNVXD_IOCTL_UNMAP, OvnVxdUnmap{kVersion, mine.mapping}), OVNVXD_OK);
    EXPECT_EQ(Send(OVNVXD_IOCTL_UNMAP, OvnVxdUnmap{kVersion, mine.mapping}),
              OVNVXD_NO_SUCH_MAPPING);
    EXPECT_EQ(m.hal.LiveMappings(), 1);
    other.Close();
    EXPECT_EQ(m.hal.LiveMappings(), 0);
}

TEST_F(DriverCoreTest, ClosingTheHandleReleasesEveryMapping) {
    for (int i = 0; i < OVNVXD_MAX_MAPPINGS; ++i) {
        ASSERT_EQ(Map(m.Aperture(i & 1) + 0x1000 * (i % 16), 0x1000), OVNVXD_OK) << i;
    }
    EXPECT_EQ(Map(m.Aperture(0), 0x1000), OVNVXD_TOO_MANY_MAPPINGS);
    EXPECT_EQ(handle.MappingCount(), static_cast<std::uint32_t>(OVNVXD_MAX_MAPPINGS));
    EXPECT_EQ(m.hal.LiveMappings(), OVNVXD_MAX_MAPPINGS);
    handle.Close();
    EXPECT_EQ(m.hal.LiveMappings(), 0);
    EXPECT_EQ(Map(m.Aperture(0), 0x1000), OVNVXD_NO_DEVICE);  // a closed handle takes nothing
}

TEST_F(DriverCoreTest, EnumerationResumesFromItsCursor) {
    std::vector<std::uint16_t> all;
    std::uint32_t next = 0;
    while (next < OVNVXD_ADDRESS_END) {
        std::uint16_t batch[2];
        std::uint32_t count = 0;
        const std::uint32_t after = OvnVxdWalkFunctions(&m.hal.Hal(), next, batch, 2, &count);
        ASSERT_GT(after, next);
        all.insert(all.end(), batch, batch + count);
        next = after;
    }
    EXPECT_EQ(all, (std::vector<std::uint16_t>{0x0008, 0x0300, 0x0301, 0x0400, 0x0500}));
}

TEST(DriverCoreNames, EveryResultHasAName) {
    for (int r = 0; r < OVNVXD_RESULT_COUNT; ++r) {
        EXPECT_STRNE(OvnVxdResultName(static_cast<OvnVxdResult>(r)), "OVNVXD_?");
    }
}

}  // namespace
