// Whole runs with image files that cannot be used, and with a name outside any ANSI code page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

// "прошивка_固件.xsvf" in UTF-8: Cyrillic and CJK.
const char* const kUnicodeName =
    "\xd0\xbf\xd1\x80\xd0\xbe\xd1\x88\xd0\xb8\xd0\xb2\xd0\xba\xd0\xb0_\xe5\x9b\xba\xe4\xbb\xb6."
    "xsvf";

// A file the run cannot use is reported as one it cannot open, then why: cards listed, exit 2. The
// log holds both lines too.
void ExpectUnusableFile(const UpdaterSandbox& box, const std::string& name,
                        const std::string& reason) {
    tagUpdaterRun run = box.Run({"-q", "-f", name});
    EXPECT_EQ(run.exitCode, 2) << name;
    const std::string lines = "Error: Unable to open file " + name + "\n   Reason: " + reason;
    EXPECT_EQ(run.console.rfind(std::string(kBanner) + lines, 0), 0u) << run.console;
    EXPECT_NE(run.console.find(".\n" + std::string(kDefaultList) + "\n"), std::string::npos)
        << run.console;
    std::string logged = box.LogBytes();
    EXPECT_NE(logged.find("\r\nError: Unable to open file " + name + "\r\n   Reason: " + reason),
              std::string::npos)
        << logged;
}

TEST(ImageFileRun, DirectoryAndFileOverTwoGibibytesCannotBeOpened) {
    UpdaterSandbox box;
    std::filesystem::create_directory(box.Root() / "folder.xsvf");
    ExpectUnusableFile(box, "folder.xsvf", "it is a directory, not a file.");

    // One byte more than the player's signed 32-bit size; sparse, so it costs no disk.
    const std::filesystem::path big = box.WriteFile("big.xsvf", "x");
    std::filesystem::resize_file(big, std::uint64_t{1} << 31);
    ExpectUnusableFile(box, "big.xsvf",
                       "it is too large: 2147483648 bytes, an image holds 2147483647 at most.");

    ExpectUnusableFile(box, "missing.xsvf", "the file was not found: ");
}

TEST(ImageFileRun, NameInCyrillicAndCjkIsOpenedAndShownAsWritten) {
    UpdaterSandbox box;
    box.WriteFile(kUnicodeName, DemoImage());
    tagUpdaterRun run = box.Run({"-f", kUnicodeName}, "n");
    EXPECT_EQ(run.exitCode, 0);
    const std::string shown = std::string("   XSVF update file: ") + kUnicodeName + "\n";
    EXPECT_NE(run.console.find(shown), std::string::npos) << run.console;
    EXPECT_NE(box.LogBytes().find(std::string("   XSVF update file: ") + kUnicodeName + "\r\n"),
              std::string::npos);

    ExpectUnusableFile(box, std::string("missing_") + kUnicodeName, "the file was not found: ");
}

}  // namespace
