// Files planted in the working folder before a run, as the operator's own programs could while a
// folder was admitted: every name the run writes ends as a new file of the run's own, and what was
// planted (a file of someone else, or a link) is neither written nor kept under the name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "tests/host/cycle_world.h"
#include "tests/host/updater_process.h"

using namespace cycle;

namespace {

namespace fs = std::filesystem;

constexpr const char* kPlanted = "planted by the operator";

// A planted regular file, kept open by the test so its inode cannot be given to the run's new file.
struct tagPlantedFile {
    int fd = -1;
    ino_t inode = 0;
    ~tagPlantedFile() {
        if (fd >= 0) close(fd);
    }
    std::string Content() const {
        std::string bytes(256, '\0');
        const ssize_t got = pread(fd, bytes.data(), bytes.size(), 0);
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return bytes;
    }
};

void PlantFile(const fs::path& path, tagPlantedFile& planted) {
    fs::remove(path);
    planted.fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    ASSERT_GE(planted.fd, 0) << path;
    fchmod(planted.fd, 0666);
    ASSERT_EQ(write(planted.fd, kPlanted, std::strlen(kPlanted)),
              static_cast<ssize_t>(std::strlen(kPlanted)));
    struct stat info {};
    fstat(planted.fd, &info);
    planted.inode = info.st_ino;
}

// The name is a file of one name that the run made: not the planted inode, not a link, this mode.
void ExpectNewFile(const fs::path& path, ino_t plantedInode, unsigned mode) {
    SCOPED_TRACE(path.filename().string());
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0) << "missing";
    EXPECT_TRUE(S_ISREG(info.st_mode)) << "mode " << std::oct << info.st_mode;
    EXPECT_NE(info.st_ino, plantedInode);
    EXPECT_EQ(info.st_nlink, 1u);
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(info.st_mode & 07777, mode) << std::oct << (info.st_mode & 07777);
}

struct tagName {
    const char* name;
    unsigned mode;
};

// The names a run that restarts for disabling writes in the working folder.
const std::vector<tagName> kNames = {{"resume.xsvf", 0644},
                                     {"pxcfg.txt", 0644},
                                     {"dec740.exe", 0755},
                                     {"last-run.json", 0644},
                                     {"cycle-in-progress.json", 0644},
                                     {"OvnK740FpgaUpdater", 0755}};

void PlantedFilesCycle(bool asLinks) {
    CycleBox world(Machine("afterRestart"));
    const fs::path folder = world.box.WorkingFolder();
    fs::create_directories(folder);
    std::map<std::string, tagPlantedFile> planted;
    std::map<std::string, fs::path> victims;
    fs::create_directories(world.box.Root() / "victims");
    for (const tagName& entry : kNames) {
        if (asLinks) {
            victims[entry.name] =
                world.box.WriteFile(std::string("victims/") + entry.name, kPlanted);
            fs::create_symlink(victims[entry.name], folder / entry.name);
        } else {
            PlantFile(folder / entry.name, planted[entry.name]);
        }
    }
    const auto inode = [&](const std::string& name) {
        return asLinks ? ino_t{0} : planted[name].inode;
    };
    world.box.WriteFile("image.xsvf", DemoImage());
    tagUpdaterRun first = world.box.Run({"-q", "-f", "image.xsvf"});
    ASSERT_EQ(first.exitCode, 0) << first.console;
    ASSERT_TRUE(RunOnce());

    for (const tagName& entry : kNames)
        ExpectNewFile(folder / entry.name, inode(entry.name), entry.mode);
    EXPECT_EQ(ReadFileBytes(folder / "resume.xsvf"), DemoImage());
    EXPECT_EQ(ReadFileBytes(folder / "pxcfg.txt"), kSettings);
    EXPECT_NE(ReadFileBytes(folder / "dec740.exe"), kPlanted);
    EXPECT_NE(ReadFileBytes(folder / "last-run.json").find("\"cards\""), std::string::npos);
    EXPECT_EQ(Config().value_or(""), kSettings);
    for (const tagName& entry : kNames) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(asLinks ? ReadFileBytes(victims[entry.name]) : planted[entry.name].Content(),
                  kPlanted);
    }

    // Between the restart and the resume, where the settings file is written back from Config.
    tagPlantedFile again;
    const fs::path settings = folder / "pxcfg.txt";
    fs::remove(settings);
    if (asLinks) {
        fs::create_symlink(victims["pxcfg.txt"], settings);
    } else {
        PlantFile(settings, again);
    }
    tagUpdaterRun resumed = world.box.RestartAndLogon();
    EXPECT_NE(resumed.console.find("100%"), std::string::npos) << resumed.console;
    ExpectNewFile(settings, asLinks ? 0 : again.inode, 0644);
    EXPECT_EQ(ReadFileBytes(settings), kSettings);
    EXPECT_EQ(asLinks ? ReadFileBytes(victims["pxcfg.txt"]) : again.Content(), kPlanted);
    ExpectNewFile(folder / "last-run.json", 0, 0644);

    world.box.RestartAndLogon();
    ASSERT_EQ(sim::host::SuiteImports().size(), 1u);
    EXPECT_EQ(sim::host::SuiteImports()[0].bytes, kSettings);
}

}  // namespace

TEST(PlantedFiles, FilesOfSomeoneElseUnderTheRunsNamesAreReplacedByNewFilesAndNotWritten) {
    PlantedFilesCycle(false);
}

TEST(PlantedFiles, LinksUnderTheRunsNamesAreReplacedByNewFilesAndTheirTargetsKept) {
    PlantedFilesCycle(true);
}
