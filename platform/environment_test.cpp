// Environment seam: variables, directories, module path and the log's line ends.
#include "platform/environment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/safe_file.h"

namespace {

std::wstring FreshName(const wchar_t* stem) {
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::filesystem::temp_directory_path().wstring() + platform::PathSeparator() + stem +
           std::to_wstring(ticks);
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(platform::NarrowPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(EnvironmentVariables, SetUnsetAndTooLong) {
    auto path = platform::GetEnvironmentWide(L"PATH");
    ASSERT_TRUE(path.has_value());
    EXPECT_FALSE(path->empty());
    EXPECT_FALSE(platform::GetEnvironmentWide(L"OVN_NO_SUCH_VARIABLE_7F3A").has_value());
    // A value that does not fit the buffer counts as not set, like a log path that is too long.
    EXPECT_FALSE(platform::GetEnvironmentWide(L"PATH", path->size()).has_value());
    EXPECT_EQ(platform::GetEnvironmentWide(L"PATH", path->size() + 1), path);
}

TEST(Directories, CreateTwiceAndFailures) {
    std::wstring dir = FreshName(L"ovn-env-dir-");
    EXPECT_TRUE(platform::CreateDirectoryWide(dir));
    EXPECT_TRUE(platform::CreateDirectoryWide(dir)) << "an existing directory is no error";
    const wchar_t sep = platform::PathSeparator();
    const platform::FileStatus orphan =
        platform::CreateDirectoryWide(dir + sep + L"missing" + sep + L"child");
    ASSERT_FALSE(orphan);
    EXPECT_NE(orphan.error().code, 0u) << orphan.error().call << " names no system error";
    std::wstring file = dir + sep + L"file";
    ASSERT_TRUE(platform::AppendTextFile(file, "x"));
    EXPECT_FALSE(platform::CreateDirectoryWide(file)) << "a file of that name is no directory";
}

TEST(Paths, TheModuleFileNameIsWholeOrAnError) {
    const ovn::Result<std::wstring> module = platform::ModuleFileName();
    ASSERT_TRUE(module) << module.error().call << " error " << module.error().code;
    EXPECT_NE(module->find(L"platform_tests"), std::wstring::npos);
    EXPECT_FALSE(platform::ModuleFileName(module->size() - 1)) << "a name cut short is not taken";
}

TEST(AppendTextFile, AppendsWithCrLfAndFailsWithoutDirectory) {
    std::wstring dir = FreshName(L"ovn-env-log-");
    ASSERT_TRUE(platform::CreateDirectoryWide(dir));
    std::wstring file = dir + platform::PathSeparator() + L"run.log";
    ASSERT_TRUE(platform::AppendTextFile(file, "first\nsecond\n"));
    ASSERT_TRUE(platform::AppendTextFile(file, "third\b\n"));
    EXPECT_EQ(ReadBytes(file), "first\r\nsecond\r\nthird\b\r\n");
    EXPECT_FALSE(platform::AppendTextFile(
        dir + platform::PathSeparator() + L"no" + platform::PathSeparator() + L"x.log", "lost\n"));
}

}  // namespace
