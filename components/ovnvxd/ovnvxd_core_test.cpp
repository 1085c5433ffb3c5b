// The driver core's protocol: what it grants and what it refuses, with the result of each refusal.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "components/ovnvxd/ovnvxd_direct_transport.h"
#include "components/ovnvxd/sim_hal_testutil.h"

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
    // length bytes at apertureOffset of card's register aperture.
    OvnVxdResult MapAt(int card, std::uint32_t apertureOffset, std::uint64_t length,
                       OvnVxdMapAnswer* answer = nullptr,
                       COvnVxdDirectTransport* through = nullptr) {
        return Map(m.Aperture(card) + apertureOffset, apertureOffset, length, answer, through);
    }
    OvnVxdResult Map(std::uint64_t address, std::uint32_t apertureOffset, std::uint64_t length,
                     OvnVxdMapAnswer* answer = nullptr, COvnVxdDirectTransport* through = nullptr) {
        OvnVxdMapAnswer local{};
        return Send(OVNVXD_IOCTL_MAP, OvnVxdMap{kVersion, apertureOffset, address, length},
                    sizeof local, answer ? answer : &local, through);
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

TEST_F(DriverCoreTest, GrantsTheRegisterPagesOfBothCards) {
    OvnVxdMapAnswer answer{};
    ASSERT_EQ(MapAt(0, 0x1000, 0x1000, &answer), OVNVXD_OK);
    EXPECT_NE(answer.mapping, 0u);
    EXPECT_EQ(answer.userAddress, reinterpret_cast<std::uintptr_t>(m.aperture[0] + 0x1000));
    ASSERT_EQ(MapAt(0, 0x6000, 0x1000), OVNVXD_OK);
    // Part of a page: the whole page is mapped and the answer points at the requested byte.
    ASSERT_EQ(MapAt(1, 0x60D0, 0x20, &answer), OVNVXD_OK);
    EXPECT_EQ(answer.userAddress, reinterpret_cast<std::uintptr_t>(m.aperture[1] + 0x60D0));
    EXPECT_EQ(m.hal.MapCalls().back(),
              std::make_pair(m.Aperture(1) + 0x6000, std::uint64_t{0x1000}));
    ASSERT_EQ(MapAt(1, 0x1798, 0x10), OVNVXD_OK);
    EXPECT_EQ(m.hal.LiveMappings(), 4);
}

// Every refusal with its result; none reaches the system's mapping, none writes configuration.
TEST_F(DriverCoreTest, RefusesEverythingButTheGrantedPages) {
    struct Case {
        const char* what;
        std::uint64_t address;
        std::uint32_t apertureOffset;
        std::uint64_t length;
        OvnVxdResult expected;
    };
    const std::uint64_t a0 = m.Aperture(0), a1 = m.Aperture(1);
    const Case cases[] = {
        {"card 1's frame buffer (BAR0)", 0xD0000000u, 0, 0x1000, OVNVXD_NOT_GRANTED},
        {"frame buffer named as a GPIO page", 0xD0001000u, 0x1000, 0x1000, OVNVXD_NOT_GRANTED},
        {"card 0's frame buffer above 4 GiB", 0x1000000000ull + 0x1000, 0x1000, 0x1000,
         OVNVXD_NOT_GRANTED},
        {"aperture page 0", a0, 0, 0x1000, OVNVXD_NOT_GRANTED},
        {"aperture page 2", a0 + 0x2000, 0x2000, 0x1000, OVNVXD_NOT_GRANTED},
        {"aperture page 15", a1 + 0xF000, 0xF000, 0x1000, OVNVXD_NOT_GRANTED},
        {"the GPIO page named at another offset", a0 + 0x1000, 0x6000, 0x1000, OVNVXD_NOT_GRANTED},
        {"past the aperture", a0 + 0x11000, 0x11000, 0x1000, OVNVXD_NOT_GRANTED},
        {"RAM", tagDriverTestMachine::kRamBase + 0x1000, 0x1000, 0x1000, OVNVXD_NOT_GRANTED},
        {"the other maker's 0x6828", tagDriverTestMachine::kOtherBarBase + 0x1000, 0x1000, 0x1000,
         OVNVXD_NOT_GRANTED},
        {"card 0's I/O BAR", 0xE000 + 0x1000, 0x1000, 0x100, OVNVXD_NOT_GRANTED},
        {"zero bytes", a0 + 0x1000, 0x1000, 0, OVNVXD_BAD_PARAMETER},
        {"a range that wraps", ~0ull - 3, 0x1000, 8, OVNVXD_BAD_PARAMETER},
        {"an offset above the address", 0x800, 0x1000, 0x100, OVNVXD_BAD_PARAMETER},
        {"0xFFFFF900 bytes", a0 + 0x1000, 0x1000, 0xFFFFF900u, OVNVXD_BEYOND_GRANT},
        {"4 GiB", a0 + 0x1000, 0x1000, 0x100000000ull, OVNVXD_BEYOND_GRANT},
        {"4 GiB and a page", a0 + 0x1000, 0x1000, 0x100001000ull, OVNVXD_BEYOND_GRANT},
        {"a page and a byte", a0 + 0x6000, 0x6000, 0x1001, OVNVXD_BEYOND_GRANT},
        {"across the GPIO page's end", a1 + 0x1FFC, 0x1FFC, 8, OVNVXD_BEYOND_GRANT},
        {"the whole 64 KiB window", a0, 0, 0x10000, OVNVXD_NOT_GRANTED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Map(c.address, c.apertureOffset, c.length), c.expected)
            << c.what << ": got the result on the left";
    }
    EXPECT_TRUE(m.hal.MapCalls().empty()) << "a refused range reached the system";
    EXPECT_EQ(m.hal.ConfigWrites(), 0u);
}

TEST_F(DriverCoreTest, APageOverRamIsRefused) {
    // Card 1's aperture BAR moved onto RAM: the device says so, the system's RAM list says no.
    m.machine.FindFunction(4, 0, 0)->Preset32(
        0x14, static_cast<std::uint32_t>(tagDriverTestMachine::kRamBase));
    EXPECT_EQ(Map(tagDriverTestMachine::kRamBase + 0x1000, 0x1000, 0x1000), OVNVXD_OVER_RAM);
    EXPECT_EQ(Map(tagDriverTestMachine::kRamBase + 0x6000, 0x6000, 0x1000), OVNVXD_OVER_RAM);
    // RAM that covers only the I2C page of card 0.
    m.hal.AddRam(m.Aperture(0) + 0x6FFF, 1);
    EXPECT_EQ(MapAt(0, 0x6000, 4), OVNVXD_OVER_RAM);
    EXPECT_EQ(MapAt(0, 0x1000, 0x1000), OVNVXD_OK);
    EXPECT_EQ(m.hal.MapCalls().size(), 1u);
}

TEST_F(DriverCoreTest, NoRamListNoMapping) {
    m.hal.FailRamList();
    EXPECT_EQ(MapAt(0, 0x1000, 0x1000), OVNVXD_OVER_RAM);
    EXPECT_TRUE(m.hal.MapCalls().empty());
}

TEST_F(DriverCoreTest, MapsWriteNoConfigurationSpace) {
    sim::PciFunction& card0 = m.machine.Card(0).Function();
    sim::PciFunction& card1 = m.machine.Card(1).Function();
    card0.Preset32(0x04, 0x00000003u, 0x00000407u);  // decoding on, as on a live card
    card0.ClearAccesses();
    card1.ClearAccesses();
    int granted = 0;
    for (int card = 0; card < 2; ++card) {
        for (std::uint32_t page = 0; page < 0x10000; page += 0x1000) {
            granted += MapAt(card, page, 0x1000) == OVNVXD_OK;
        }
    }
    EXPECT_EQ(granted, 4);
    EXPECT_EQ(m.hal.ConfigWrites(), 0u) << "configuration writes during 32 map requests";
    EXPECT_EQ(card0.Writes() + card1.Writes(), 0u);
    EXPECT_GT(card0.Reads(), 0u) << "the BARs are read";
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
    ASSERT_EQ(MapAt(0, 0x1000, 0x1000, &mine), OVNVXD_OK);
    ASSERT_EQ(MapAt(1, 0x6000, 0x1000, &theirs, &other), OVNVXD_OK);
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
        ASSERT_EQ(MapAt(i & 1, (i & 2) ? 0x1000 : 0x6000, 0x1000), OVNVXD_OK) << i;
    }
    EXPECT_EQ(MapAt(0, 0x1000, 0x1000), OVNVXD_TOO_MANY_MAPPINGS);
    EXPECT_EQ(handle.MappingCount(), static_cast<std::uint32_t>(OVNVXD_MAX_MAPPINGS));
    EXPECT_EQ(m.hal.LiveMappings(), OVNVXD_MAX_MAPPINGS);
    handle.Close();
    EXPECT_EQ(m.hal.LiveMappings(), 0);
    EXPECT_EQ(MapAt(0, 0x1000, 0x1000), OVNVXD_HANDLE_CLOSED) << "a cleaned-up handle maps nothing";
    handle.Close();
    EXPECT_EQ(m.hal.LiveMappings(), 0);
}

TEST_F(DriverCoreTest, AMapWaitingOnACleanupIsRefused) {
    ASSERT_EQ(MapAt(0, 0x1000, 0x1000), OVNVXD_OK);
    m.hal.HoldNextUnmap();
    std::thread cleanup([this] { handle.Close(); });
    m.hal.WaitUnmapEntered();  // the cleanup holds the handle now
    OvnVxdResult raced = OVNVXD_OK;
    std::thread map([this, &raced] { raced = MapAt(1, 0x6000, 0x1000); });
    m.hal.ReleaseUnmap();
    cleanup.join();
    map.join();
    EXPECT_EQ(raced, OVNVXD_HANDLE_CLOSED);
    EXPECT_EQ(m.hal.LiveMappings(), 0) << "a mapping outlived its handle";
    EXPECT_EQ(m.hal.MapCalls().size(), 1u);
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
