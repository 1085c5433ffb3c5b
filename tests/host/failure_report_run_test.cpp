// Whole runs whose cards cannot all be programmed: unmapped register windows and several failures.
#include <gtest/gtest.h>

#include <string>

#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

// The machine file with the card at `address` given these aperture BAR flags.
std::string WithBarFlags(std::string json, const std::string& address, const std::string& flags) {
    const std::string bus = "\"bus\": \"0x" + address.substr(0, 2) + "\"";
    const std::size_t card = json.find(bus);
    const std::size_t bar = json.find("\"aperture\"", card);
    json.insert(bar, "\"barFlags\": \"" + flags + "\", ");
    return json;
}

std::string VersionLine(const std::string& console, const std::string& bus) {
    const std::size_t at = console.find("   PCIe Bus: 0x" + bus);
    if (at == std::string::npos) return "";
    return console.substr(at, console.find('\n', at) - at);
}

}  // namespace

// A failed mapping used to be programmed through a null mapping and "succeed".
TEST(FailureReportRun, CardWhoseMappingFailsIsListedNotProgrammedAndFailsTheRun) {
    UpdaterSandbox box;
    UseDemoOnDefaultCards(box, R"({"mapFails": true})", "{}");

    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(VersionLine(run.console, "0300"), "   PCIe Bus: 0x0300   FPGA version: 0.0.000");
    EXPECT_EQ(VersionLine(run.console, "0400"), "   PCIe Bus: 0x0400   FPGA version: 1.3.0");
    EXPECT_NE(run.console.find("\b \n\nUpdate failed on device at index 0 with error code 7\n"),
              std::string::npos)
        << run.console;
    EXPECT_EQ(run.console.find("index 1"), std::string::npos);
    EXPECT_EQ(run.console.find("Execution time"), std::string::npos);
    EXPECT_NE(box.LogBytes().find("Update failed on device at index 0 with error code 7\r\n"
                                  "   Card at PCIe Bus 0x0300 was not programmed: its register "
                                  "aperture is not mapped\r\n"),
              std::string::npos)
        << box.LogBytes();

    // The mapped card took the image; the other one kept its configuration.
    box.UseMachine(MachineJson(DefaultCards()));
    tagUpdaterRun after = box.Run({"-q"});
    EXPECT_EQ(VersionLine(after.console, "0300"), "   PCIe Bus: 0x0300   FPGA version: 1.2.7");
    EXPECT_EQ(VersionLine(after.console, "0400"), "   PCIe Bus: 0x0400   FPGA version: 1.4.2");
}

// An I/O BAR and a memory BAR of the reserved type name no register window: never mapped.
TEST(FailureReportRun, ApertureThatIsNoMemoryBarIsNeverMappedAndFailsTheRun) {
    UpdaterSandbox box;
    box.UseMachine(WithBarFlags(WithBarFlags(MachineJson(DefaultCards()), "03:00.0", "0x06"),
                                "04:00.0", "0x01"));
    box.WriteFile("demo.xsvf", DemoImage());

    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(VersionLine(run.console, "0300"), "   PCIe Bus: 0x0300   FPGA version: 0.0.000");
    EXPECT_EQ(VersionLine(run.console, "0400"), "   PCIe Bus: 0x0400   FPGA version: 0.0.000");
    EXPECT_NE(run.console.find("Update failed on device at index 0 with error code 7\n"
                               "Update failed on device at index 1 with error code 7\n"),
              std::string::npos)
        << run.console;
    EXPECT_EQ(run.console.find("Execution time"), std::string::npos);
}

TEST(FailureReportRun, ListingOnlyShowsTheUnmappedCardAsBefore) {
    UpdaterSandbox box;
    std::vector<tagTestCard> cards = DefaultCards();
    cards[1].faults = "{\"mapFails\": true}";
    box.UseMachine(MachineJson(cards));
    tagUpdaterRun run = box.Run({"-q"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(VersionLine(run.console, "0300"), "   PCIe Bus: 0x0300   FPGA version: 1.2.7");
    EXPECT_EQ(VersionLine(run.console, "0400"), "   PCIe Bus: 0x0400   FPGA version: 0.0.000");
}

// Every failure line is a line of its own: on the console one after the other, in the log each
// after the previous card's details.
TEST(FailureReportRun, EveryFailureLineOfTheLogStartsOnALineOfItsOwn) {
    UpdaterSandbox box;
    UseDemoOnDefaultCards(box, R"({"tdoStuck": 0})", R"({"tdoStuck": 0})");

    tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.console.find("\b \n\nUpdate failed on device at index 0 with error code 2\n"
                               "Update failed on device at index 1 with error code 2\n"),
              std::string::npos)
        << run.console;

    const std::string log = box.LogBytes();
    const std::size_t first = log.find(
        "Update failed on device at index 0 with error code 2\r\n"
        "   Card at PCIe Bus 0x0300 failed: command ");
    ASSERT_NE(first, std::string::npos) << log;
    const std::size_t second = log.find(
        "\r\nUpdate failed on device at index 1 with error code 2\r\n"
        "   Card at PCIe Bus 0x0400 failed: command ",
        first);
    ASSERT_NE(second, std::string::npos) << log;
    EXPECT_NE(log.substr(second - 2, 4), "\r\n\r\n") << log;
    // The second card's details end their line as well.
    const std::size_t end = log.find("\r\n", second + 60);
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(log.substr(second, end - second).find("; TDO expected "), std::string::npos);
}
