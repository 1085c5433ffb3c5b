// The elevated run against its operator's own unelevated programs: the resume however the run was
// started, a changed image at the resume, and planted environment, folders and links.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/host/cycle_world.h"
#include "tests/host/updater_process.h"
#include "text/text_encoding.h"

using namespace cycle;

namespace {

namespace fs = std::filesystem;

struct tagStart {
    const char* name;
    std::string stateDirectory;  // empty: the sandbox's own
    std::string programDirectory;
    std::string imageName;
    enum { kBareName, kRelativePath, kFullPath } how;
    std::string workingDirectory;  // relative to the sandbox
    std::vector<std::string> options;
    std::string fileOption;
    bool imageByFullPath;
    std::string expectedOptions;  // as the resume line spells them
};

// UTF-8 text as the narrow argument vector carries it.
std::string u8s(const char8_t* text) { return reinterpret_cast<const char*>(text); }

bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

const std::vector<tagStart> kStarts = {
    {"bare name",
     "",
     "bin",
     "image.xsvf",
     tagStart::kBareName,
     "bin",
     {"-q", "-b"},
     "-f",
     false,
     " -q -b"},
    {"relative path",
     "",
     "bin",
     "image.xsvf",
     tagStart::kRelativePath,
     "",
     {"-q"},
     "-f",
     false,
     " -q"},
    {"full path from elsewhere",
     "",
     "tools",
     "image.xsvf",
     tagStart::kFullPath,
     "elsewhere",
     {"--QUIET", "-V", "2"},
     "--FLASH",
     true,
     " -q -v 2"},
    {"blanks and non-ANSI characters",
     u8s(u8"Sim State Über Ω"),
     u8s(u8"Prog Files/Ünï cødé"),
     u8s(u8"mein Bild ä.xsvf"),
     tagStart::kFullPath,
     "Prog Files",
     {"-q", "-c", "1"},
     "-F",
     false,
     " -q -c 1"},
};

// One whole cycle started this way: the resume line names the copies, the program directory is
// gone before the resume, and the resume still programs and tidies up.
void ResumeCycle(const tagStart& start) {
    SCOPED_TRACE(start.name);
    CycleBox world(Machine("afterRestart"), start.stateDirectory);
    world.box.InstallProgram(start.programDirectory, start.how == tagStart::kBareName);
    const fs::path image = world.box.ProgramDirectory() / start.imageName;
    world.box.WriteFile((fs::path(start.programDirectory) / start.imageName).string(), DemoImage());
    const fs::path cwd = world.box.Root() / start.workingDirectory;
    fs::create_directories(cwd);
    std::string argv0 = (world.box.ProgramDirectory() / "OvnK740FpgaUpdater").string();
    if (start.how == tagStart::kBareName) argv0 = "OvnK740FpgaUpdater";
    if (start.how == tagStart::kRelativePath)
        argv0 = "./" + start.programDirectory + "/OvnK740FpgaUpdater";
    world.box.StartAs(argv0, cwd);
    std::vector<std::string> args = start.options;
    args.push_back(start.fileOption);
    args.push_back(start.imageByFullPath ? image.string() : fs::relative(image, cwd).string());

    tagUpdaterRun first = world.box.Run(args);
    ASSERT_EQ(first.exitCode, 0) << first.console;
    const std::string folder = world.box.WorkingFolder().string() + "/";
    EXPECT_EQ(RunOnce(), Utf8ToWide("\"" + folder + "OvnK740FpgaUpdater\"" + start.expectedOptions +
                                    " -f \"" + folder + "resume.xsvf\""));
    // Whatever happens to where the operator started it, the resume does not depend on it.
    fs::remove_all(world.box.ProgramDirectory());

    tagUpdaterRun resumed = world.box.RestartAndLogon();
    EXPECT_NE(resumed.console.find("100%"), std::string::npos) << resumed.console;
    EXPECT_EQ(sim::host::Restarts().size(), 2u);
    EXPECT_FALSE(RunOnce());
    EXPECT_NE(ImportEntry().value_or(L"").find(L" /import "), std::wstring::npos);
    EXPECT_FALSE(Exists(world.box.WorkingFolder() / "resume.xsvf"));
    EXPECT_FALSE(Exists(world.box.WorkingFolder() / "OvnK740FpgaUpdater"));
    EXPECT_FALSE(sim::host::RegistryGetString(RegistryView::k32, kUtilityKey, L"ImageSha256"));
}

}  // namespace

TEST(Resume, StartedByTheBareNameFromItsDirectory) { ResumeCycle(kStarts[0]); }
TEST(Resume, StartedByARelativePath) { ResumeCycle(kStarts[1]); }
TEST(Resume, StartedByTheFullPathFromAnotherDirectoryWithTheLongOptionInCapitals) {
    ResumeCycle(kStarts[2]);
}
TEST(Resume, BlanksAndNonAnsiCharactersInEveryPathWithTheShortOptionInCapitals) {
    ResumeCycle(kStarts[3]);
}

TEST(Resume, AnImageChangedBetweenRestartAndResumeIsRefusedAndTheDisplayComesBack) {
    CycleBox world(Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    ASSERT_EQ(world.box.Run({"-q", "-f", "image.xsvf"}).exitCode, 0);
    const fs::path copy = world.box.WorkingFolder() / "resume.xsvf";
    std::string changed = DemoImage();
    changed[changed.size() / 2] ^= 0x01;
    world.box.WriteFile(fs::relative(copy, world.box.Root()).string(), changed);
    fs::remove(world.box.WorkingFolder() / "pxcfg.txt");

    // What the run-once entry starts, run directly so its exit code is seen.
    tagUpdaterRun resumed = world.box.Run({"-q", "-f", copy.string()});
    EXPECT_NE(resumed.exitCode, 0);
    EXPECT_NE(resumed.console.find("is not the one the update was started with before the "
                                   "restart"),
              std::string::npos)
        << resumed.console;
    EXPECT_NE(resumed.console.find("   No card will be programmed.\n"), std::string::npos);
    EXPECT_EQ(resumed.console.find("100%"), std::string::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
    EXPECT_FALSE(Config());
    EXPECT_FALSE(Exists(copy));
    EXPECT_FALSE(RunOnce());
    EXPECT_NE(ImportEntry().value_or(L"").find(L" /import "), std::wstring::npos);
    EXPECT_NE(world.box.LogBytes().find("is not the one the update was started with"),
              std::string::npos);

    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
}

TEST(Trust, TheSuiteIsNeverTakenFromTheEnvironment) {
    CycleBox world(Machine("atOnce"));
    const fs::path evil = world.box.Root() / "evil";
    fs::create_directories(evil / "Orvane Graphics" / "Panelux");
    for (const char* program : {OVN_PLUX_CMD_PATH, OVN_PLUX_CORE_PATH})
        fs::copy_file(program, evil / "Orvane Graphics" / "Panelux" / fs::path(program).filename());
    world.box.SetEnvironment("programfiles(x86)", evil.string());
    world.box.SetEnvironment("programfiles", evil.string());
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
    EXPECT_EQ(run.exitCode, 0) << run.console;
    for (const std::wstring& line : sim::host::ChildCommands())
        EXPECT_EQ(line.find(Utf8ToWide(evil.string())), std::wstring::npos) << WideToUtf8(line);
    EXPECT_EQ(ImportEntry().value_or(L"").find(Utf8ToWide(evil.string())), std::wstring::npos);
    EXPECT_NE(ImportEntry().value_or(L"").find(Utf8ToWide(world.box.SuiteDirectory().string())),
              std::wstring::npos);
    EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
}

namespace {

void PlantedWorkingFolderCycle(bool asLink) {
    {
        CycleBox world(Machine("atOnce"));
        const fs::path attacker = world.box.Root() / "attacker";
        fs::create_directories(attacker);
        fs::create_directories(world.box.StateDirectory() / "ProgramData");
        if (asLink) {
            fs::create_directory_symlink(attacker,
                                         world.box.StateDirectory() / "ProgramData" / "Orvane");
        } else {
            fs::create_directories(world.box.WorkingFolder());
            chmod(world.box.WorkingFolder().c_str(), 0777);
        }
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
        EXPECT_EQ(run.exitCode, 0) << run.console;
        EXPECT_EQ(ChildWords(), (Words{"driverfiles", "/export", "disable", "enable"}));
        EXPECT_TRUE(fs::is_empty(attacker));
        EXPECT_FALSE(fs::is_symlink(world.box.StateDirectory() / "ProgramData" / "Orvane"));
        struct stat info {};
        ASSERT_EQ(stat(world.box.WorkingFolder().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0755u);
        EXPECT_NE(world.box.LogBytes().find("was not safe"), std::string::npos);
        EXPECT_NE(world.box.LogBytes().find("moved aside"), std::string::npos);
    }
}

}  // namespace

TEST(Trust, AWorkingFolderThatIsALinkIsMovedAsideAndRecreated) { PlantedWorkingFolderCycle(true); }

TEST(Trust, AWorkingFolderOthersMayWriteIsMovedAsideAndRecreated) {
    PlantedWorkingFolderCycle(false);
}

TEST(Trust, AFileInPlaceOfTheWorkingFolderIsMovedAsideOrNamedWithWhatAnAdministratorDoes) {
    {
        // A file where "Orvane" goes, which the run can move aside: the update goes on.
        CycleBox world(Machine("atOnce"));
        const fs::path orvane = world.box.StateDirectory() / "ProgramData" / "Orvane";
        fs::create_directories(orvane.parent_path());
        world.box.WriteFile("state/ProgramData/Orvane", "a user's file");
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
        EXPECT_EQ(run.exitCode, 0) << run.console;
        EXPECT_TRUE(fs::is_directory(world.box.WorkingFolder()));
        const std::string log = world.box.LogBytes();
        EXPECT_NE(log.find("(it is a file, not a folder); it was moved aside to " +
                           orvane.string() + ".untrusted-"),
                  std::string::npos)
            << log;
    }
    {
        // What is in the way cannot be moved aside by the run (the host edition's program-data
        // folder is a file): every update would stop here, so the run says what to remove.
        CycleBox world(Machine("atOnce"));
        const fs::path programData = world.box.StateDirectory() / "ProgramData";
        fs::remove_all(programData);
        world.box.WriteFile("state/ProgramData", "a user's file");
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun run = world.box.Run({"-q", "-b", "-f", "image.xsvf"});
        EXPECT_EQ(run.exitCode, 10) << run.console;
        const std::string what =
            "   Error: No safe working folder could be prepared: " + programData.string() +
            " is in the way (it is a file, not a folder) and cannot be moved "
            "aside (the program data folder, error 20).";
        const std::string how = "   Delete or rename " + programData.string() +
                                " as an administrator, then run the update again. The display "
                                "driver is left as it is.";
        EXPECT_NE(run.console.find(what + "\n" + how + "\n"), std::string::npos) << run.console;
        const std::string log = world.box.LogBytes();
        EXPECT_NE(log.find(what), std::string::npos) << log;
        EXPECT_NE(log.find(how), std::string::npos) << log;
        EXPECT_EQ(ReadFileBytes(programData), "a user's file");
        EXPECT_TRUE(ChildWords().empty());
    }
}

TEST(Trust, NothingIsWrittenOrStartedFromTheTemporaryFolder) {
    CycleBox world(Machine("afterRestart"));
    const fs::path victim = world.box.WriteFile("victim.ini", "victim");
    // The attacker's tool and a link named like the settings file in the user's temporary folder.
    world.box.WriteFile("tmp/dec740.exe", "#!/bin/sh\nexit 0\n");
    fs::create_symlink(victim, world.box.Root() / "tmp" / "pxcfg.txt");
    world.box.WriteFile("image.xsvf", DemoImage());
    ASSERT_EQ(world.box.Run({"-q", "-f", "image.xsvf"}).exitCode, 0);
    world.box.RestartAndLogon();
    EXPECT_EQ(ReadFileBytes(victim), "victim");
    for (const std::wstring& line : sim::host::ChildCommands())
        EXPECT_EQ(WideToUtf8(line).find(world.box.Root().string() + "/tmp"), std::string::npos)
            << WideToUtf8(line);
    EXPECT_EQ(ChildWords(),
              (Words{"driverfiles", "/export", "disable", "driverfiles", "disable", "enable"}));
}

namespace {

void PlantedLinksCycle(bool hardLink) {
    {
        CycleBox world(Machine("afterRestart"));
        const fs::path victim = world.box.WriteFile("victim.ini", "victim");
        fs::create_directories(world.box.LogFile().parent_path());
        fs::create_directories(world.box.WorkingFolder());
        const fs::path settings = world.box.WorkingFolder() / "pxcfg.txt";
        if (hardLink) {
            fs::create_hard_link(victim, world.box.LogFile());
        } else {
            fs::create_symlink(victim, world.box.LogFile());
        }
        world.box.WriteFile("image.xsvf", DemoImage());
        tagUpdaterRun first = world.box.Run({"-q", "-f", "image.xsvf"});
        ASSERT_EQ(first.exitCode, 0) << first.console;
        EXPECT_NE(first.console.find("   The log file "), std::string::npos) << first.console;
        // Planted between the restart and the resume, where the settings are written back.
        fs::remove(settings);
        if (hardLink) {
            fs::create_hard_link(victim, settings);
        } else {
            fs::create_symlink(victim, settings);
        }
        tagUpdaterRun resumed = world.box.RestartAndLogon();
        EXPECT_NE(resumed.console.find("100%"), std::string::npos) << resumed.console;
        EXPECT_EQ(ReadFileBytes(victim), "victim");
        EXPECT_EQ(ReadFileBytes(settings), kSettings);
    }
}

}  // namespace

TEST(Trust, SymbolicLinksInPlaceOfTheLogAndTheSettingsFileAreNotWrittenThrough) {
    PlantedLinksCycle(false);
}

TEST(Trust, HardLinksInPlaceOfTheLogAndTheSettingsFileAreNotWrittenThrough) {
    PlantedLinksCycle(true);
}

TEST(Trust, AProgramSwappedInTheStartFolderWhileTheRunWaitsIsNeitherCopiedNorRegistered) {
    CycleBox world(Machine("afterRestart"));
    world.box.InstallProgram("bin", false);
    world.box.WriteFile("bin/image.xsvf", DemoImage());
    const fs::path program = world.box.ProgramDirectory() / "OvnK740FpgaUpdater";
    const std::string original = ReadFileBytes(program);
    const std::string planted = "#!/bin/sh\necho planted >> \"$0.ran\"\n";
    // At the restart prompt the operator's own program renames the running file and puts another
    // under its name.
    tagUpdaterRun run = world.box.RunAndActAt(
        {"-b", "-f", "image.xsvf"}, "Press 'y' to continue",
        [&] {
            fs::rename(program, program.string() + ".away");
            world.box.WriteFile("bin/OvnK740FpgaUpdater", planted);
            fs::permissions(program, fs::perms::owner_all);
        },
        "y");
    ASSERT_EQ(run.exitCode, 0) << run.console;
    const fs::path copy = world.box.WorkingFolder() / "OvnK740FpgaUpdater";
    EXPECT_TRUE(ReadFileBytes(copy) == original)
        << "the working folder's copy is not the program that ran (" << ReadFileBytes(copy).size()
        << " bytes, " << original.size() << " expected)";
    const std::wstring expected = Utf8ToWide("\"" + copy.string() + "\"");
    EXPECT_EQ(RunOnce().value_or(L"").rfind(expected, 0), 0u)
        << WideToUtf8(RunOnce().value_or(L""));
    // One entry starts the program: neither a second resume name nor the repair beside it.
    EXPECT_EQ(sim::host::RegistryValueNames(RegistryView::k32, kRunOnceKey),
              std::vector<std::wstring>{L"!OvnK740FpgaUpdater"});

    tagUpdaterRun resumed = world.box.RestartAndLogon("y");
    EXPECT_NE(resumed.console.find("100%"), std::string::npos) << resumed.console;
    EXPECT_FALSE(Exists(world.box.WorkingFolder() / "OvnK740FpgaUpdater.ran"));
    EXPECT_FALSE(Exists(world.box.ProgramDirectory() / "OvnK740FpgaUpdater.ran"));
}

TEST(Trust, TheRepairEntryStartsTheCopyAndTheJournalListsEveryEntryBeforeItIsWritten) {
    CycleBox world(Machine("afterRestart"));
    world.box.WriteFile("image.xsvf", DemoImage());
    const fs::path copy = world.box.WorkingFolder() / "OvnK740FpgaUpdater";
    std::optional<std::wstring> repair;
    std::string journal;
    tagUpdaterRun run = world.box.RunAndActAt(
        {"-b", "-f", "image.xsvf"}, "Press 'y' to continue",
        [&] {
            repair = sim::host::RegistryGetString(RegistryView::k32, kRunOnceKey,
                                                  L"!OvnK740FpgaUpdaterRepair");
            journal =
                WideToUtf8(sim::host::RegistryGetString(RegistryView::k32, kUtilityKey, L"Journal")
                               .value_or(L""));
        },
        "y");
    ASSERT_EQ(run.exitCode, 0) << run.console;
    EXPECT_EQ(repair, Utf8ToWide("\"" + copy.string() + "\" -q"));
    EXPECT_NE(journal.find("entries=resume,repair;"), std::string::npos) << journal;
    // The restart hands the repair over to the resume, which starts the same copy.
    EXPECT_FALSE(
        sim::host::RegistryGetString(RegistryView::k32, kRunOnceKey, L"!OvnK740FpgaUpdaterRepair"));
    EXPECT_TRUE(RunOnce());
    EXPECT_TRUE(Exists(copy));
    EXPECT_TRUE(sim::host::RegistryGetString(RegistryView::k32, kUtilityKey, L"ProgramSha256"));

    world.box.RestartAndLogon();
    EXPECT_TRUE(sim::host::RegistryValueNames(RegistryView::k32, kRunOnceKey) ==
                std::vector<std::wstring>{L"!OvnK740FpgaUpdaterImport"});
    EXPECT_FALSE(Exists(copy));
    EXPECT_FALSE(sim::host::RegistryGetString(RegistryView::k32, kUtilityKey, L"ProgramSha256"));
}
