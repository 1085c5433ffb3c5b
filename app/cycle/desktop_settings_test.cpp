// The suite's directory and command lines, and the settings through "Config" byte for byte.
#include "app/cycle/desktop_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/cycle/reboot_resume.h"
#include "app/host/host_services.h"
#include "platform/registry.h"
#include "simhost/host_records.h"
#include "text/text_encoding.h"

namespace {

class DesktopSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("ovn-suite-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        setenv("OVN_SIM_STATE", (dir_ / "state").c_str(), 1);
        settings_ = Utf8ToWide((dir_ / "pxcfg.txt").string());
    }
    void TearDown() override {
        unsetenv("programfiles(x86)");
        unsetenv("programfiles");
        std::filesystem::remove_all(dir_);
    }
    std::string SettingsFileBytes() const {
        std::ifstream in(WideToUtf8(settings_), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::filesystem::path dir_;
    std::wstring settings_;
};

}  // namespace

TEST_F(DesktopSettingsTest, SuiteDirectoryIsTheKnownFolderWhateverTheEnvironmentSays) {
    setenv("programfiles", "/pf64", 1);
    setenv("programfiles(x86)", "/pf32", 1);
    // The default machine is a 64-bit one: the 32-bit program files folder.
    EXPECT_EQ(SuiteDirectory(), Utf8ToWide((dir_ / "state" / "Program Files (x86)").string()) +
                                    L"/Orvane Graphics/Panelux/");
    EXPECT_EQ(SuiteExportCommandLine(L"", L"C:\\x\\pxcfg.txt"), L"") << "nothing to start";
}

TEST_F(DesktopSettingsTest, ASettingsFileAboveOneMebibyteIsNotStored) {
    std::ofstream(WideToUtf8(settings_), std::ios::binary) << std::string((1u << 20) + 1, 's');
    StoreSettingsInRegistry(settings_);
    EXPECT_FALSE(platform::RegistryGetBytes(kUtilityKey, kConfigValueName));
    std::ofstream(WideToUtf8(settings_), std::ios::binary) << std::string(1u << 20, 's');
    StoreSettingsInRegistry(settings_);
    auto stored = platform::RegistryGetBytes(kUtilityKey, kConfigValueName);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 1u << 20);
}

TEST_F(DesktopSettingsTest, CommandLinesKeepBlankFreePathsAndQuoteTheOthers) {
    EXPECT_EQ(SuiteExportCommandLine(L"D:\\Suite\\", L"C:\\Temp\\pxcfg.txt"),
              L"D:\\Suite\\Orvane.PluxCmd.exe /export C:\\Temp\\pxcfg.txt");
    EXPECT_EQ(SuiteImportCommandLine(L"C:\\Program Files (x86)\\Orvane Graphics\\Panelux\\",
                                     L"C:\\Users\\Ann Lee\\Temp\\pxcfg.txt"),
              L"\"C:\\Program Files (x86)\\Orvane Graphics\\Panelux\\Orvane.PluxCmd.exe\" /import "
              L"\"C:\\Users\\Ann Lee\\Temp\\pxcfg.txt\"");
    EXPECT_EQ(SettingsFilePath(L"C:\\Temp\\"), L"C:\\Temp\\pxcfg.txt");
    EXPECT_EQ(SettingsFilePath(L""), L"");
}

TEST_F(DesktopSettingsTest, SettingsGoThroughConfigByteExactOddLengthAndZeroUnitsIncluded) {
    const std::string original("%p\0\0x\xff\x01", 7);  // odd length, a zero 16-bit unit inside
    std::ofstream(WideToUtf8(settings_), std::ios::binary) << original;
    StoreSettingsInRegistry(settings_);
    auto stored = platform::RegistryGetBytes(kUtilityKey, kConfigValueName);
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::string(stored->begin(), stored->end()), original);
    EXPECT_TRUE(SettingsCopyStored());

    std::filesystem::remove(dir_ / "pxcfg.txt");
    ASSERT_TRUE(RestoreSettingsFromRegistry(settings_));
    EXPECT_EQ(SettingsFileBytes(), original);
}

TEST_F(DesktopSettingsTest, AnEmptyOrMissingCopyCountsAsNoneAndAMissingFileStoresNothing) {
    EXPECT_FALSE(RestoreSettingsFromRegistry(settings_));
    ASSERT_TRUE(
        platform::RegistrySetValue(kUtilityKey, kConfigValueName, platform::kRegSz, "", 0).ok());
    EXPECT_FALSE(SettingsCopyStored());
    EXPECT_FALSE(RestoreSettingsFromRegistry(settings_));
    ASSERT_TRUE(platform::RegistryDeleteValue(kUtilityKey, kConfigValueName).ok());
    StoreSettingsInRegistry(settings_);
    EXPECT_FALSE(platform::RegistryGetBytes(kUtilityKey, kConfigValueName));
}

// The registry seam tells a value that is not there, and one of another type, from a refusal.
TEST_F(DesktopSettingsTest, AMissingValueAndOneOfAnotherTypeSayWhichTheyAre) {
    const auto missing = platform::RegistryGetBytes(kUtilityKey, kConfigValueName);
    ASSERT_FALSE(missing.ok()) << "read " << missing->size() << " bytes of a missing value";
    EXPECT_EQ(missing.error().code, platform::kRegistryNotFound) << missing.error().call;
    const auto notDeleted = platform::RegistryDeleteValue(kUtilityKey, kConfigValueName);
    ASSERT_FALSE(notDeleted.ok());
    EXPECT_EQ(notDeleted.error().code, platform::kRegistryNotFound) << notDeleted.error().call;

    ASSERT_TRUE(platform::RegistrySetString(kUtilityKey, kConfigValueName, L"text").ok());
    const auto asDword = platform::RegistryGetDword(kUtilityKey, kConfigValueName);
    ASSERT_FALSE(asDword.ok()) << "a REG_SZ read as the DWORD " << *asDword;
    EXPECT_EQ(asDword.error().code, platform::kRegistryWrongType) << asDword.error().call;
    const auto asText = platform::RegistryGetString(kUtilityKey, kConfigValueName);
    ASSERT_TRUE(asText.ok()) << asText.error().call << " failed with " << asText.error().code;
    EXPECT_EQ(WideToUtf8(*asText), "text");
}

TEST_F(DesktopSettingsTest, AnExportThatNeverEndsIsWaitedForTenSecondsOnTheRunsClock) {
    // The export's stand-in runs until its file goes; the clock jumps 1000 ms per reading.
    const std::filesystem::path alive = dir_ / "alive";
    std::ofstream(alive) << "x";
    auto now = std::make_shared<std::uint32_t>(0);
    auto readings = std::make_shared<int>(0);
    CChildRunner runner({[now, readings]() {
                             ++*readings;
                             return *now += 1000;
                         },
                         1});
    CHostServices host;
    SaveOrRestoreSettings(
        host, runner, Utf8ToWide(std::string(OVN_CHILD_DOUBLE) + " hang-while " + alive.string()),
        settings_);
    EXPECT_EQ(*readings, 11);  // the start, then one per slice until 10,000 ms have passed
    std::filesystem::remove(alive);
}
