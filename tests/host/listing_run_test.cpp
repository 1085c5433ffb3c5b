// Whole runs that list the cards without programming them: no file, bad files, no cards, estimates.
#include <gtest/gtest.h>

#include <cstdlib>

#include "testing/xsvf_writer/xsvf_writer.h"
#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

const char* const kKeyPrompt = "\n\nPress any key to exit...\n";

std::string Bytes(const XsvfBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

TEST(ListingRun, NoArgumentListsTheCardsAndWaitsForAKey) {
    UpdaterSandbox box;
    tagUpdaterRun run = box.Run({});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.console, std::string(kBanner) + kDefaultList + "\n" + kKeyPrompt);
    // The log has the run's header line, then the same messages with CR LF line ends (the
    // parser's blank lines are console-only).
    const std::string log = box.LogBytes();
    EXPECT_EQ(log.rfind("==== Run ", 0), 0u) << log;
    EXPECT_NE(log.find(" started "), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nOrvane K740 FPGA Update Utility - Version 1.0.0.21\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(box.LogBytes().find("   PCIe Bus: 0x0400   FPGA version: 1.3.0\r\n"),
              std::string::npos);
}

TEST(ListingRun, QuietSkipsTheKeyPrompt) {
    UpdaterSandbox box;
    tagUpdaterRun run = box.Run({"-q"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.console, std::string(kBanner) + kDefaultList + "\n");
}

TEST(ListingRun, FileThatCannotBeOpenedIsReportedWithItsReasonAndLogged) {
    UpdaterSandbox box;
    tagUpdaterRun run = box.Run({"-q", "-f", "missing.xsvf"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.console, std::string(kBanner) + "Error: Unable to open file missing.xsvf\n" +
                               "   Reason: the file was not found: No such file or directory "
                               "(error 2).\n" +
                               kDefaultList + "\n");
    EXPECT_NE(box.LogBytes().find("Error: Unable to open file missing.xsvf\r\n   Reason: the file "
                                  "was not found"),
              std::string::npos)
        << box.LogBytes();
}

TEST(ListingRun, EmptyFileCountsAsNoImage) {
    UpdaterSandbox box;
    box.WriteFile("empty.xsvf", "");
    tagUpdaterRun run = box.Run({"-q", "-f", "empty.xsvf"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.console, std::string(kBanner) + kDefaultList + "\n");
}

TEST(ListingRun, OneCardHasNoPluralAndNoCardsIsReported) {
    UpdaterSandbox box;
    box.UseMachine(MachineJson({DefaultCards()[1]}));
    EXPECT_NE(
        box.Run({"-q"}).console.find("   Found 1 Orvane K740 graphics card:\n   PCIe Bus: 0x0400"),
        std::string::npos);

    box.UseMachine(MachineJson({}));
    tagUpdaterRun none = box.Run({"-q", "-f", "whatever.xsvf"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.console, std::string(kBanner) + "   No Orvane K740 graphics cards found.");
}

// The way to the driver fails: the run names the step, the failed call and the system's error on
// the console and in the log, ends with 1, and never claims that there is no card.
TEST(ListingRun, FailuresOnTheWayToTheDriverAreNamedWithTheSystemsError) {
    UpdaterSandbox box;
    box.UseMachine(MachineJson(DefaultCards(), false));
    tagUpdaterRun missing = box.Run({});
    const std::string loadError =
        "   Error: Unable to load the driver-access library OvnVxd.dll: LoadLibraryExA failed "
        "with error 126: The specified module could not be found.\n";
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.console, std::string(kBanner) + loadError + kKeyPrompt);

    box.UseMachine(R"({"driverFault": {"call": "StartServiceW", "code": 577}})");
    tagUpdaterRun refused = box.Run({"-q", "-f", "whatever.xsvf"});
    const std::string startError =
        "   Error: The driver-access library could not start its driver OvnVxd.sys: "
        "StartServiceW failed with error 577: Windows cannot verify the digital signature for "
        "this file.";
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.console.rfind(std::string(kBanner) + startError, 0), 0u) << refused.console;
    EXPECT_NE(refused.console.find("the driver is not signed for this system"), std::string::npos)
        << refused.console;
    EXPECT_EQ(refused.console.find("No Orvane K740 graphics cards found"), std::string::npos)
        << refused.console;
    EXPECT_NE(box.LogBytes().find(startError), std::string::npos) << box.LogBytes();

    box.UseMachine(R"({"driverFault": {"call": "CreateServiceW", "code": 1072}})");
    tagUpdaterRun unknownCode = box.Run({"-q"});
    EXPECT_EQ(unknownCode.exitCode, 1);
    EXPECT_NE(unknownCode.console.find("   Error: The driver-access library could not create its "
                                       "driver's service OvnVxd: CreateServiceW failed with error "
                                       "1072.\n"),
              std::string::npos)
        << unknownCode.console;
}

TEST(ListingRun, MalformedMachineFileNamesTheFileAndTheFault) {
    UpdaterSandbox box;
    box.UseMachine("{\"cards\": [{\"bus\": 3, \"device\": 0, \"function\": 0, \"bar\": \"48\"}]}");
    tagUpdaterRun run = box.Run({"-q"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("machine.json"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("cards[0].bar"), std::string::npos) << run.errors;
}

TEST(ListingRun, HelpEndsWithZeroOptionErrorsWithTwelveBothWithoutBanner) {
    UpdaterSandbox box;
    tagUpdaterRun help = box.Run({"-h"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.console.find("Orvane K740"), std::string::npos);
    EXPECT_EQ(help.console.rfind("\n\nOvnK740FpgaUpdater command line options:", 0), 0u);

    tagUpdaterRun bad = box.Run({"-x", "-y"});
    EXPECT_EQ(bad.exitCode, 12);
    EXPECT_EQ(bad.console,
              "\n\nError: Invalid parameter: '-x'.\nError: Invalid parameter: '-y'.\n\n"
              "For more information, see the help file [-h].\n\n");
}

// Estimates come from the largest calibrated delay; answering 'n' keeps these runs short.
TEST(ListingRun, EstimateFollowsTheLargestDelay) {
    struct Case {
        unsigned first, second;
        const char* estimate;
    };
    for (const Case& c :
         {Case{20, 35, "3 minutes"}, Case{20, 25, "5 minutes"}, Case{64, 64, "5 minutes"},
          Case{12, 40, "3 minutes"}, Case{63, 30, "3 minutes"}, Case{29, 5, "5 minutes"}}) {
        UpdaterSandbox box;
        std::vector<tagTestCard> cards = DefaultCards();
        cards[0].writeCost = c.first == 64 ? 0 : WriteCostForDelay(c.first);
        cards[1].writeCost = c.second == 64 ? 0 : WriteCostForDelay(c.second);
        box.UseMachine(MachineJson(cards));
        box.WriteFile("demo.xsvf", DemoImage());
        tagUpdaterRun run = box.Run({"-f", "demo.xsvf"}, "n");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.console.find(std::string("   Update time estimate: ") + c.estimate + "\n"),
                  std::string::npos)
            << c.first << "/" << c.second;
        EXPECT_NE(run.console.find("   Update aborted.\n\n"), std::string::npos);
    }
}

// A malformed image is refused before any card is touched; the exit code is the player's.
TEST(ListingRun, MalformedImagesAreRefusedBeforeProgramming) {
    const std::string demo = DemoImage();
    struct Case {
        const char* name;
        std::string image;
        int exitCode;
    };
    const Case cases[] = {
        {"truncated", demo.substr(0, demo.size() / 2), 4},
        {"illegal", Bytes(XsvfWriter().Sir(6, 0x09).Raw({0x1B}).Complete().Bytes()), 4},
        {"oversize", Bytes(XsvfWriter().SdrSize(16000001).Complete().Bytes()), 6},
        {"bad end state", Bytes(XsvfWriter().EndDr(2).Complete().Bytes()), 5},
    };
    for (const Case& c : cases) {
        UpdaterSandbox box;
        box.WriteFile("bad.xsvf", c.image);
        tagUpdaterRun run = box.Run({"-f", "bad.xsvf"}, "y");
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        EXPECT_NE(run.console.find("   Error: The XSVF file is malformed: "), std::string::npos)
            << c.name;
        EXPECT_NE(run.console.find(kDefaultList), std::string::npos) << c.name;
        EXPECT_EQ(run.console.find("WARNING"), std::string::npos) << c.name;
        EXPECT_EQ(run.console.find("Programming"), std::string::npos) << c.name;
        EXPECT_NE(box.LogBytes().find("malformed"), std::string::npos) << c.name;
    }
}
