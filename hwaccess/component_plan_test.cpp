// Where and in which order the driver-access components are written on each system width.
#include "hwaccess/component_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace driver_loader {
namespace {

std::string Describe(const tagComponentFile& f) {
    return std::string(f.useWow64Dir ? "SysWOW64" : "System32") + f.name +
           (f.redirectionOff ? " native" : " redirected");
}

TEST(ComponentPlan, SixtyFourBitSystemWritesDriverBothLibrariesAndUninstallerInOrder) {
    const tagComponentPlan plan = ComponentPlan(true);
    ASSERT_EQ(plan.count, 4u);
    EXPECT_EQ(Describe(plan.files[0]), "System32\\drivers\\OvnVxd.sys native");
    EXPECT_EQ(plan.files[0].image, ComponentImage::kDriver64);
    EXPECT_EQ(Describe(plan.files[1]), "SysWOW64\\OvnVxd.dll native");
    EXPECT_EQ(plan.files[1].image, ComponentImage::kLibrary32);
    EXPECT_EQ(Describe(plan.files[2]), "System32\\OvnVxd.dll native");
    EXPECT_EQ(plan.files[2].image, ComponentImage::kLibrary64);
    EXPECT_EQ(Describe(plan.files[3]), "SysWOW64\\OvnVxdUninstall.exe native");
    EXPECT_EQ(plan.files[3].image, ComponentImage::kUninstaller);
}

TEST(ComponentPlan, ThirtyTwoBitSystemHasNoSixtyFourBitLibraryAndNoWow64Dir) {
    const tagComponentPlan plan = ComponentPlan(false);
    ASSERT_EQ(plan.count, 3u);
    EXPECT_EQ(Describe(plan.files[0]), "System32\\drivers\\OvnVxd.sys redirected");
    EXPECT_EQ(plan.files[0].image, ComponentImage::kDriver32);
    EXPECT_EQ(Describe(plan.files[1]), "System32\\OvnVxd.dll redirected");
    EXPECT_EQ(plan.files[1].image, ComponentImage::kLibrary32);
    EXPECT_EQ(Describe(plan.files[2]), "System32\\OvnVxdUninstall.exe redirected");
    EXPECT_EQ(plan.files[2].image, ComponentImage::kUninstaller);
}

TEST(JoinSystemPath, AddsOneBackslashAfterTheWindowsDirectory) {
    EXPECT_EQ(JoinSystemPath("C:\\Windows", false, "\\OvnVxd.dll"),
              "C:\\Windows\\System32\\OvnVxd.dll");
    EXPECT_EQ(JoinSystemPath("C:\\", true, "\\OvnVxdUninstall.exe"),
              "C:\\SysWOW64\\OvnVxdUninstall.exe");
    EXPECT_EQ(JoinSystemPath("D:\\WINNT", false, "\\drivers\\OvnVxd.sys"),
              "D:\\WINNT\\System32\\drivers\\OvnVxd.sys");
}

TEST(LibraryInWow64Dir, OnlyAThirtyTwoBitProcessOnASixtyFourBitSystemUsesSysWow64) {
    EXPECT_TRUE(LibraryInWow64Dir(true, false));
    EXPECT_FALSE(LibraryInWow64Dir(true, true));
    EXPECT_FALSE(LibraryInWow64Dir(false, false));
}

}  // namespace
}  // namespace driver_loader

namespace {

// Writes that fail from item `failAt` on, with the order of every write and undo.
struct tagInstallTrace {
    std::size_t failAt;
    std::vector<std::string> steps;

    bool Install(std::size_t count) {
        return driver_loader::WriteAllOrNone(
            count,
            [this](std::size_t i) {
                steps.push_back("write " + std::to_string(i));
                return i < failAt;
            },
            [this](std::size_t i) { steps.push_back("undo " + std::to_string(i)); });
    }
};

}  // namespace

TEST(WriteAllOrNone, FailureTakesBackWhatThisAttemptWroteNewestFirst) {
    tagInstallTrace third{2, {}};
    EXPECT_FALSE(third.Install(4));
    EXPECT_EQ(third.steps,
              (std::vector<std::string>{"write 0", "write 1", "write 2", "undo 1", "undo 0"}));

    tagInstallTrace first{0, {}};
    EXPECT_FALSE(first.Install(4));
    EXPECT_EQ(first.steps, std::vector<std::string>{"write 0"});

    tagInstallTrace none{4, {}};
    EXPECT_TRUE(none.Install(4));
    EXPECT_EQ(none.steps, (std::vector<std::string>{"write 0", "write 1", "write 2", "write 3"}));
}
