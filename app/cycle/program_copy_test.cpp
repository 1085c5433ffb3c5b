// The program copy is the running program's bytes, and no entry names it once it was changed.
#include "app/cycle/program_copy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/cycle/reboot_resume.h"
#include "platform/registry.h"
#include "text/text_encoding.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(ProgramCopy, IsTheRunningProgramAndIsNamedOnlyWhileUnchanged) {
    const fs::path state =
        fs::temp_directory_path() / ("ovn-program-copy-" + std::to_string(getpid()));
    fs::create_directories(state / "folder");
    setenv("OVN_SIM_STATE", state.c_str(), 1);
    const std::wstring folder = Utf8ToWide((state / "folder").string() + "/");

    CProgramCopy copy;
    copy.Take(folder);
    ASSERT_FALSE(copy.Path().empty());
    const fs::path path(WideToUtf8(copy.Path()));
    EXPECT_TRUE(Bytes(path) == Bytes("/proc/self/exe")) << "the copy is not the running program";
    EXPECT_TRUE(platform::RegistryGetString(kUtilityKey, kProgramHashValueName));
    EXPECT_TRUE(copy.Intact());
    EXPECT_TRUE(RegisterProgramEntry(copy, L"!Unchanged", L"unchanged"));
    EXPECT_EQ(RegisteredRunOnce(L"!Unchanged"), L"unchanged");

    // One byte changed: nothing names the copy any more.
    std::string changed = Bytes(path);
    changed[changed.size() / 2] ^= 0x20;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << changed;
    EXPECT_FALSE(copy.Intact());
    EXPECT_FALSE(RegisterProgramEntry(copy, L"!Changed", L"changed"));
    EXPECT_FALSE(RegisteredRunOnce(L"!Changed"));

    // The right bytes behind a link are not the copy either.
    const fs::path elsewhere = state / "elsewhere";
    fs::copy_file("/proc/self/exe", elsewhere);
    fs::remove(path);
    fs::create_symlink(elsewhere, path);
    EXPECT_FALSE(copy.Intact());

    RemoveProgramCopyAndHash(folder);
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    EXPECT_FALSE(platform::RegistryGetString(kUtilityKey, kProgramHashValueName));
    unsetenv("OVN_SIM_STATE");
    fs::remove_all(state);
}
