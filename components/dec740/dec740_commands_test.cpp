// The commands over the fake device manager: output, exit codes, and the texts the updater judges.
#include "components/dec740/dec740_commands.h"

#include <gtest/gtest.h>

#include "components/dec740/dec740_texts.h"
#include "components/dec740/fake_device_manager_testutil.h"
#include "components/dec740/setupapi_calls.h"
#include "components/dec740/sim_device_manager.h"

namespace dec740 {
namespace {

constexpr char kK740[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7";
constexpr char kCardA[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00\\4&03&0&00";
constexpr char kCardB[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00\\4&04&0&00";
constexpr char kOther[] = "PCI\\VEN_1002&DEV_6828&SUBSYS_0B0E1002&REV_00\\4&05&0&00";

// Two K740 cards and another maker's board with the same graphics processor.
void AddMachine(FakeDeviceManager& fake) {
    fake.AddDevice(kCardA, {"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00", kK740},
                   {"PCI\\VEN_1002&DEV_6828"});
    fake.AddDevice(kCardB, {"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00", kK740},
                   {"PCI\\VEN_1002&DEV_6828"});
    fake.AddDevice(kOther, {"PCI\\VEN_1002&DEV_6828&SUBSYS_0B0E1002"}, {"PCI\\VEN_1002&DEV_6828"});
}

int Execute(FakeDeviceManager& fake, CapturedOutput& output, std::vector<std::string> arguments) {
    return RunCommand(arguments, fake, output);
}

bool HasLetterGroup(const std::string& text) {
    for (const char* group : {"ati", "amd", "Windows\\INF\\oem"}) {
        if (text.find(group) != std::string::npos) return true;
    }
    return false;
}

TEST(DriverFiles, ListsEachMatchingDeviceWithItsDriverFiles) {
    DriverInfo driver{"C:\\Windows\\INF\\oem12.inf", "ati2mtag_R6xx"};
    // Only the first card has the driver.
    FakeDeviceManager withDriver;
    Device& a = withDriver.AddDevice(kCardA, {kK740});
    a.description = "Orvane K740";
    a.driver = driver;
    withDriver.AddDevice(kCardB, {kK740});
    withDriver.SetSectionFiles(
        driver, std::vector<std::string>{"C:\\Windows\\system32\\DRIVERS\\atikmdag.sys",
                                         "C:\\Windows\\system32\\atiumdag.dll"});
    CapturedOutput output;
    EXPECT_EQ(Execute(withDriver, output, {"driverfiles", kK740}), kExitDone);
    EXPECT_EQ(output.out, std::string(kCardA) +
                              "\n"
                              "    Name: Orvane K740\n"
                              "    Driver installed from C:\\Windows\\INF\\oem12.inf "
                              "[ati2mtag_R6xx]. 2 file(s) used by driver:\n"
                              "        C:\\Windows\\system32\\DRIVERS\\atikmdag.sys\n"
                              "        C:\\Windows\\system32\\atiumdag.dll\n" +
                              kCardB +
                              "\n"
                              "    Name: Video Controller\n"
                              "    No driver is installed for this device.\n"
                              "2 device(s) found.\n");
    EXPECT_EQ(output.err, "");
}

TEST(DriverFiles, NoDriverAnywhereProducesNoLetterGroup) {
    FakeDeviceManager fake;
    AddMachine(fake);
    CapturedOutput output;
    EXPECT_EQ(Execute(fake, output, {"driverfiles", kK740}), kExitDone);
    EXPECT_NE(output.out.find(kCardB), std::string::npos);
    EXPECT_EQ(output.out.find(kOther), std::string::npos);
    EXPECT_FALSE(HasLetterGroup(output.both)) << output.both;
}

TEST(DriverFiles, FailuresEndWithTwoAndNameTheCall) {
    FakeDeviceManager none;
    AddMachine(none);
    CapturedOutput noMatch;
    EXPECT_EQ(Execute(none, noMatch, {"driverfiles", "PCI\\VEN_10DE*"}), kExitFailed);
    EXPECT_EQ(noMatch.out, "");
    EXPECT_EQ(noMatch.err, "No device has the ID PCI\\VEN_10DE*.\n");

    FakeDeviceManager unlisted;
    unlisted.devicesError = ovn::CallError("SetupDiGetClassDevsW", 0x57);
    CapturedOutput listing;
    EXPECT_EQ(Execute(unlisted, listing, {"driverfiles", kK740}), kExitFailed);
    EXPECT_EQ(listing.err,
              "The devices cannot be listed: SetupDiGetClassDevsW failed with error 0x00000057.\n");

    FakeDeviceManager noInf;
    noInf.AddDevice(kCardA, {kK740}).driver = DriverInfo{"C:\\Windows\\INF\\oem12.inf", "S"};
    CapturedOutput files;
    EXPECT_EQ(Execute(noInf, files, {"driverfiles", kK740}), kExitFailed);
    EXPECT_NE(files.out.find("[S].\n1 device(s) found.\n"), std::string::npos) << files.out;
    EXPECT_EQ(files.err,
              "    The files of this driver cannot be listed: SetupOpenInfFileW failed with error "
              "0x00000002.\n");
}

TEST(ChangeState, DisableAtOnceEndsWithZeroAndTouchesOnlyMatchingDevices) {
    FakeDeviceManager fake;
    AddMachine(fake);
    CapturedOutput output;
    EXPECT_EQ(Execute(fake, output, {"disable", "pci\\ven_1002&dev_6828&subsys_25401fa7"}),
              kExitDone);
    ASSERT_EQ(fake.changes.size(), 2u);
    EXPECT_EQ(fake.changes[0], std::make_pair(std::string(kCardA), TargetState::Disabled));
    EXPECT_EQ(fake.changes[1], std::make_pair(std::string(kCardB), TargetState::Disabled));
    EXPECT_EQ(output.out, std::string(kCardA) + ": Disabled\n" + kCardB +
                              ": Disabled\n2 device(s) disabled.\n");
    EXPECT_EQ(output.err, "");
}

TEST(ChangeState, OneDeviceNeedingARestartMakesItOne) {
    FakeDeviceManager fake;
    AddMachine(fake);
    fake.SetChangeResult(kCardB, TargetState::Disabled, {ChangeOutcome::NeedsRestart, {}});
    CapturedOutput output;
    EXPECT_EQ(Execute(fake, output, {"disable", kK740}), kExitNeedsRestart);
    EXPECT_EQ(output.out, std::string(kCardA) + ": Disabled\n" + kCardB +
                              ": Disabled at the next restart\n2 device(s) disabled.\n"
                              "The change takes effect when the machine restarts.\n");
}

TEST(ChangeState, AnyFailureMakesItTwoAndNamesTheCall) {
    FakeDeviceManager fake;
    AddMachine(fake);
    fake.SetChangeResult(kCardA, TargetState::Disabled, {ChangeOutcome::NeedsRestart, {}});
    fake.SetChangeResult(
        kCardB, TargetState::Disabled,
        {ChangeOutcome::Failed, ovn::CallError("SetupDiCallClassInstaller", 0xE000020E)});
    CapturedOutput output;
    EXPECT_EQ(Execute(fake, output, {"disable", kK740}), kExitFailed);
    EXPECT_EQ(output.err, std::string(kCardB) +
                              ": not disabled: SetupDiCallClassInstaller failed with error "
                              "0xE000020E.\n");
    EXPECT_NE(output.out.find("1 device(s) disabled.\n"), std::string::npos);
    EXPECT_EQ(fake.changes.size(), 2u);  // the other devices are still tried
}

TEST(ChangeState, EnableReportsLikeDisable) {
    FakeDeviceManager fake;
    AddMachine(fake);
    CapturedOutput done;
    EXPECT_EQ(Execute(fake, done, {"enable", kK740}), kExitDone);
    EXPECT_EQ(fake.changes.back(), std::make_pair(std::string(kCardB), TargetState::Enabled));
    EXPECT_NE(done.out.find(std::string(kCardA) + ": Enabled\n"), std::string::npos);
    EXPECT_NE(done.out.find("2 device(s) enabled.\n"), std::string::npos);

    fake.SetChangeResult(kCardA, TargetState::Enabled, {ChangeOutcome::NeedsRestart, {}});
    CapturedOutput restart;
    EXPECT_EQ(Execute(fake, restart, {"enable", kK740}), kExitNeedsRestart);
    EXPECT_NE(restart.out.find(": Enabled at the next restart\n"), std::string::npos);

    fake.SetChangeResult(kCardA, TargetState::Enabled,
                         {ChangeOutcome::Failed, ovn::CallError("X", 1)});
    CapturedOutput failed;
    EXPECT_EQ(Execute(fake, failed, {"enable", kK740}), kExitFailed);
    EXPECT_EQ(failed.err, std::string(kCardA) + ": not enabled: X failed with error 0x00000001.\n");

    CapturedOutput noMatch;
    EXPECT_EQ(Execute(fake, noMatch, {"enable", "ROOT\\NOTHING"}), kExitFailed);
    EXPECT_EQ(fake.changes.size(), 6u);  // nothing asked when nothing matches
}

TEST(CommandLine, UsageErrorsEndWithThreeAndHelpWithZero) {
    FakeDeviceManager fake;
    AddMachine(fake);
    const std::vector<std::vector<std::string>> wrong = {{},
                                                         {"driverfiles"},
                                                         {"Disable", kK740},
                                                         {"remove", kK740},
                                                         {"enable", kK740, "x"},
                                                         {"disable", ""}};
    for (const auto& arguments : wrong) {
        CapturedOutput output;
        EXPECT_EQ(Execute(fake, output, arguments), kExitUsage)
            << ::testing::PrintToString(arguments);
        EXPECT_EQ(output.out, "");
        EXPECT_NE(output.err.find(text::kUsage), std::string::npos);
    }
    EXPECT_TRUE(fake.changes.empty());
    CapturedOutput unknown;
    Execute(fake, unknown, {"remove", kK740});
    EXPECT_EQ(unknown.err.rfind("Unknown command: remove\n", 0), 0u);

    CapturedOutput help;
    EXPECT_EQ(Execute(fake, help, {"help"}), kExitDone);
    EXPECT_EQ(help.out, text::kUsage);
    EXPECT_EQ(help.err, "");
}

// The updater takes any of these groups in the output for an installed display driver.
TEST(LetterGroups, NoFixedTextOfTheToolContainsThem) {
    for (const char* fixed : text::kAll) EXPECT_FALSE(HasLetterGroup(fixed)) << fixed;
    for (const char* call : calls::kAll) EXPECT_FALSE(HasLetterGroup(call)) << call;
    for (const char* simulated : {kSimWindowsDirectory, kSimFailingCall}) {
        EXPECT_FALSE(HasLetterGroup(simulated)) << simulated;
    }
    EXPECT_TRUE(HasLetterGroup("information"));  // the check itself sees them
}

TEST(LetterGroups, EveryCommandPathOnNeutralDataStaysFreeOfThem) {
    FakeDeviceManager fake;
    AddMachine(fake);
    fake.SetChangeResult(kCardA, TargetState::Disabled, {ChangeOutcome::NeedsRestart, {}});
    fake.SetChangeResult(kCardB, TargetState::Disabled,
                         {ChangeOutcome::Failed, ovn::CallError("X", 5)});
    fake.SetChangeResult(kCardA, TargetState::Enabled, {ChangeOutcome::NeedsRestart, {}});
    fake.SetChangeResult(kCardB, TargetState::Enabled,
                         {ChangeOutcome::Failed, ovn::CallError("X", 5)});
    FakeDeviceManager broken;
    broken.devicesError = ovn::CallError("X", 5);
    const std::vector<std::vector<std::string>> lines = {
        {"driverfiles", kK740},  {"disable", kK740}, {"enable", kK740}, {"help"},
        {"driverfiles", "none"}, {"x", kK740},       {"disable"},       {}};
    for (const auto& arguments : lines) {
        for (FakeDeviceManager* manager : {&fake, &broken}) {
            CapturedOutput output;
            Execute(*manager, output, arguments);
            EXPECT_FALSE(HasLetterGroup(output.both)) << output.both;
        }
    }
}

}  // namespace
}  // namespace dec740
