// Command-line parsing: option rules, messages and the exact help text.
#include "device/cmdline.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

struct ParseOutcome {
    bool goOn;
    std::string output;
    CCmdLine options;
};

// Keeps the argument strings alive: fileName points into them.
ParseOutcome Parse(const std::vector<const char*>& args) {
    static std::vector<const char*> storage;
    storage = args;
    storage.insert(storage.begin(), "OvnK740FpgaUpdater.exe");
    ParseOutcome outcome{};
    testing::internal::CaptureStdout();
    outcome.goOn = outcome.options.Parse(static_cast<int>(storage.size()), storage.data());
    outcome.output = testing::internal::GetCapturedStdout();
    return outcome;
}

const char* const kHelpText =
    "OvnK740FpgaUpdater command line options:\n"
    "================================\n"
    "-q, --quiet               Suppresses all prompts\n"
    "-f, --flash <Filename>    Flashes an FPGA firmware file (*.xsvf)\n"
    "-b, --nobeep              Suppresses the audible beep during the update process\n"
    "-n, --noreboot            Prompt user to perform reboot and re-launch of OvnK740FpgaUpdater\n"
    "\n\n"
    "Sample write (update/flash) command line:\n"
    "=========================================\n"
    "OvnK740FpgaUpdater -f UpdateFilename.xsvf\n\n";

const char* const kHint = "\nFor more information, see the help file [-h].\n\n";

}  // namespace

TEST(CommandLine, DefaultsAndNoArguments) {
    ParseOutcome r = Parse({});
    EXPECT_TRUE(r.goOn);
    EXPECT_EQ(r.output, "\n\n");
    EXPECT_EQ(r.options.quiet, 0);
    EXPECT_EQ(r.options.fileName, nullptr);
    EXPECT_EQ(r.options.calibrate, -1);
    EXPECT_EQ(r.options.beep, 1);
    EXPECT_EQ(r.options.logToFile, 1);
    EXPECT_EQ(r.options.noReboot, 0);
}

TEST(CommandLine, OptionsIgnoreCaseButMustBeWholeWords) {
    ParseOutcome r = Parse({"-F", "file.xsvf", "--QUIET", "-B", "--NoReboot"});
    ASSERT_TRUE(r.goOn);
    EXPECT_STREQ(r.options.fileName, "file.xsvf");
    EXPECT_EQ(r.options.quiet, 1);
    EXPECT_EQ(r.options.beep, 0);
    EXPECT_EQ(r.options.noReboot, 1);

    ParseOutcome joined = Parse({"--flash=file.xsvf"});
    EXPECT_FALSE(joined.goOn);
    EXPECT_EQ(joined.output,
              std::string("\n\nError: Invalid parameter: '--flash=file.xsvf'.\n") + kHint);

    EXPECT_FALSE(Parse({"-qb"}).goOn);
    EXPECT_FALSE(Parse({"--qui"}).goOn);
    // An option error is told apart from help: the run ends with its usage error code.
    for (const auto& args :
         {std::vector<const char*>{"--flash=file.xsvf"}, {"--silent"}, {"-f"}, {"-q", "-c"}}) {
        EXPECT_EQ(Parse(args).options.optionError, 1) << args[0];
    }
    EXPECT_EQ(Parse({"-x", "-h"}).options.optionError, 0);
    EXPECT_EQ(Parse({"-q", "-f", "a.xsvf"}).options.optionError, 0);
}

TEST(CommandLine, FlashTakesTheNextArgumentWhateverItIs) {
    ParseOutcome r = Parse({"-f", "-q"});
    ASSERT_TRUE(r.goOn);
    EXPECT_STREQ(r.options.fileName, "-q");
    EXPECT_EQ(r.options.quiet, 0);

    ParseOutcome later = Parse({"-f", "a.xsvf", "--flash", "b.xsvf"});
    EXPECT_STREQ(later.options.fileName, "b.xsvf");
}

TEST(CommandLine, MissingParametersAreReportedPerOption) {
    ParseOutcome f = Parse({"-f"});
    EXPECT_FALSE(f.goOn);
    EXPECT_EQ(f.output, std::string("\n\n-f is specified but parameter is missing.\n") + kHint);

    ParseOutcome c = Parse({"-q", "-c"});
    EXPECT_EQ(c.output,
              std::string("\n\n--calibrate is specified but parameter is missing.\n") + kHint);

    ParseOutcome v = Parse({"--verbose"});
    EXPECT_EQ(v.output, std::string("\n\n-v is specified but parameter is missing.\n") + kHint);
}

TEST(CommandLine, EveryInvalidParameterGetsItsLineAndOneHint) {
    ParseOutcome r = Parse({"-x", "-y"});
    EXPECT_FALSE(r.goOn);
    EXPECT_EQ(r.output, std::string("\n\nError: Invalid parameter: '-x'.\n"
                                    "Error: Invalid parameter: '-y'.\n") +
                            kHint);
}

TEST(CommandLine, HelpStopsTheExamination) {
    ParseOutcome r = Parse({"-q", "-h", "-z"});
    EXPECT_FALSE(r.goOn);
    EXPECT_EQ(r.output, std::string("\n\n") + kHelpText + "\n\n");
    for (const char* word : {"/?", "-?", "--?", "--HELP", "-Help"}) {
        EXPECT_EQ(Parse({word}).output, std::string("\n\n") + kHelpText + "\n\n") << word;
    }
}

TEST(CommandLine, HelpTextBytes) {
    CCmdLine options;
    testing::internal::CaptureStdout();
    options.PrintHelp();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kHelpText);
}

TEST(CommandLine, CalibrateAndVerboseValues) {
    EXPECT_EQ(Parse({"-c", "0"}).options.calibrate, 0);
    EXPECT_EQ(Parse({"-c", "7"}).options.calibrate, 1);
    EXPECT_EQ(Parse({"-c", "abc"}).options.calibrate, 0);
    EXPECT_EQ(Parse({"--calibrate", "-q"}).options.quiet, 0);
    EXPECT_EQ(Parse({"-v", "12xyz"}).options.verbose, 12);
    // Numbers beyond int are clamped alike on every width: 2^32 must not wrap to 0 (calibration
    // off).
    EXPECT_EQ(Parse({"-c", "4294967296"}).options.calibrate, 1);
    EXPECT_EQ(Parse({"-v", "99999999999"}).options.verbose, INT_MAX);
    EXPECT_EQ(Parse({"-v", "-99999999999"}).options.verbose, INT_MIN);
}

TEST(CommandLine, CopiesShareTheFileName) {
    ParseOutcome r = Parse({"-f", "image.xsvf", "-b"});
    CCmdLine copy = r.options;
    EXPECT_EQ(copy.fileName, r.options.fileName);
    EXPECT_EQ(copy.beep, 0);
}
