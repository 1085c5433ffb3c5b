// The simulated host's state file: registry semantics, concurrent writers, damaged files.
#include "simhost/host_state.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace host = sim::host;
using host::RegistryView;

constexpr wchar_t kUtilityKey[] = L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater";

class HostStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("ovn-host-state-" + std::to_string(getpid()) + "-" + info->name());
        std::filesystem::remove_all(dir_);
        setenv("OVN_SIM_STATE", dir_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(HostStateTest, StateDirectoryFollowsTheEnvironment) {
    EXPECT_EQ(host::StateDirectory(), dir_);
    unsetenv("OVN_SIM_STATE");
    EXPECT_EQ(host::StateDirectory().filename(), "ovn-sim-state");
}

TEST_F(HostStateTest, StringsAreStoredWithoutTheirTerminatingZero) {
    host::RegistrySetString(RegistryView::k32,
                            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                            L"OvnK740FpgaUpdater", L"C:\\x\\OvnK740FpgaUpdater.exe -f a.xsvf");
    auto value = host::RegistryGetValue(RegistryView::k32,
                                        L"software\\microsoft\\windows\\currentversion\\runonce",
                                        L"ovnk740fpgaupdater");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, host::kRegSz);
    EXPECT_EQ(value->data.size(),
              2 * std::wstring(L"C:\\x\\OvnK740FpgaUpdater.exe -f a.xsvf").size());
    EXPECT_EQ(host::RegistryGetString(RegistryView::k32,
                                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                      L"OvnK740FpgaUpdater"),
              L"C:\\x\\OvnK740FpgaUpdater.exe -f a.xsvf");
}

TEST_F(HostStateTest, ViewsAreSeparateAndRawBytesSurviveExactly) {
    std::vector<std::uint8_t> settings{0x00, 0xFF, 0x41, 0x0A, 0x0D};
    host::RegistrySetValue(RegistryView::k32, kUtilityKey, L"Config", {host::kRegSz, settings});
    EXPECT_FALSE(host::RegistryGetValue(RegistryView::k64, kUtilityKey, L"Config"));
    auto value = host::RegistryGetValue(RegistryView::k32, kUtilityKey, L"Config");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data, settings);

    host::RegistrySetDword(RegistryView::k64, kUtilityKey, L"Count", 0x12345678);
    EXPECT_EQ(host::RegistryGetDword(RegistryView::k64, kUtilityKey, L"Count"), 0x12345678u);
}

TEST_F(HostStateTest, KeysExistBelowStoredPathsAndKeepTheirSubkeys) {
    host::RegistrySetString(RegistryView::k32, kUtilityKey, L"Config", L"x");
    EXPECT_TRUE(host::RegistryKeyExists(RegistryView::k32, L"SOFTWARE\\Orvane Graphics"));
    EXPECT_FALSE(host::RegistryKeyExists(RegistryView::k32, L"SOFTWARE\\Orvane"));
    EXPECT_FALSE(host::RegistryDeleteKey(RegistryView::k32, L"SOFTWARE\\Orvane Graphics"));

    EXPECT_TRUE(host::RegistryDeleteValue(RegistryView::k32, kUtilityKey, L"CONFIG"));
    EXPECT_FALSE(host::RegistryDeleteValue(RegistryView::k32, kUtilityKey, L"Config"));
    EXPECT_TRUE(host::RegistryKeyExists(RegistryView::k32, kUtilityKey));
    EXPECT_TRUE(host::RegistryDeleteKey(RegistryView::k32, kUtilityKey));
    EXPECT_FALSE(host::RegistryKeyExists(RegistryView::k32, kUtilityKey));
}

TEST_F(HostStateTest, ConcurrentProcessesAndThreadsLoseNoUpdates) {
    constexpr int kEach = 20;
    pid_t child = fork();
    if (child == 0) {
        for (int i = 0; i < kEach; ++i) host::AddProcess(L"child.exe", 1);
        std::_Exit(0);
    }
    std::thread other([] {
        for (int i = 0; i < kEach; ++i) host::AddProcess(L"thread.exe", 2);
    });
    for (int i = 0; i < kEach; ++i) host::AddProcess(L"main.exe", 3);
    other.join();
    int status = 0;
    waitpid(child, &status, 0);

    auto processes = host::Processes();
    EXPECT_EQ(processes.size(), 3u * kEach);
    for (std::size_t i = 1; i < processes.size(); ++i) {
        EXPECT_NE(processes[i].pid, processes[i - 1].pid);
    }
}

TEST_F(HostStateTest, DamagedStateFileReadsAsDefaults) {
    std::filesystem::create_directories(dir_);
    std::ofstream(host::StateFile()) << "{ \"power\": [1, 2";
    EXPECT_EQ(host::AcMinProcessorState(), 5u);
    EXPECT_EQ(host::Sessions(), (std::vector<std::uint32_t>{0, 1}));
    host::SetAcMinProcessorState(60);
    EXPECT_EQ(host::AcMinProcessorState(), 60u);
}

TEST_F(HostStateTest, MembersOfTheWrongTypeReadAsAbsentAndAreNamedOnce) {
    std::filesystem::create_directories(dir_);
    std::ofstream(host::StateFile()) << R"({"power": {"acMinProcessorState": {"x": "high"},
        "activeScheme": 7}, "sessions": [1, "two", 3], "events": {"E": true},
        "registry": {"32": {"SOFTWARE\\K": {"V": {"type": "sz", "data": "00"}}}},
        "restarts": [{"timeout": -1}], "nextPid": "many"})";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(host::AcMinProcessorState(), 5u);
    EXPECT_EQ(host::Sessions(), (std::vector<std::uint32_t>{1, 3}));
    EXPECT_FALSE(host::NamedEventSignalled(L"E"));
    EXPECT_FALSE(host::SetNamedEvent(L"E"));
    EXPECT_EQ(host::RegistryGetValue(RegistryView::k32, L"SOFTWARE\\K", L"V")->data,
              std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(host::RegistryGetValue(RegistryView::k32, L"SOFTWARE\\K", L"V")->type, 0u);
    EXPECT_EQ(host::Restarts().size(), 1u);
    EXPECT_EQ(host::AddProcess(L"a.exe", 1), 1000u);
    const std::string said = ::testing::internal::GetCapturedStderr();
    const std::string line = "simulated host state file '" + host::StateFile().string() +
                             "': power.activeScheme: expected a string; read as absent\n";
    EXPECT_EQ(said.find(line), 0u) << said;
    EXPECT_EQ(said.find(line, 1), std::string::npos) << said;  // said once, not on every read

    // The write replaced what it could not use.
    host::SetAcMinProcessorState(60);
    EXPECT_EQ(host::AcMinProcessorState(), 60u);
    EXPECT_EQ(host::ActiveScheme(), "381b4222-f694-41f0-9685-ff5bb260df2e");
}

TEST_F(HostStateTest, StateDirectoryThatCannotBeCreatedIsNamedAndTheChangeDropped) {
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "file") << "x";
    const std::filesystem::path state = dir_ / "file" / "state";
    setenv("OVN_SIM_STATE", state.c_str(), 1);
    ::testing::internal::CaptureStderr();
    host::SetAcMinProcessorState(60);  // returns instead of waiting for a lock it can never take
    host::SetAcMinProcessorState(61);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(host::AcMinProcessorState(), 5u);
    const std::string line = "simulated host state directory '" + state.string() + "': ";
    EXPECT_EQ(said.find(line), 0u) << said;
    EXPECT_EQ(said.find(line, 1), std::string::npos) << said;
}

// The old lock was taken over after 3 seconds whoever held it; a slow holder then lost its update.
TEST_F(HostStateTest, LivingHolderKeepsTheLockHoweverLongItHoldsIt) {
    host::SetAcMinProcessorState(10);
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    pid_t child = fork();
    if (child == 0) {
        host::Update([&](nlohmann::json& d) {
            d["holder"] = "child";
            char byte = 1;
            if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) std::_Exit(2);
        });
        std::_Exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    std::atomic<bool> done{false};
    std::thread waiting([&] {
        host::SetAcMinProcessorState(20);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::seconds(4));
    EXPECT_FALSE(done.load());
    ASSERT_EQ(write(go[1], &byte, 1), 1);
    waiting.join();
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const nlohmann::json document = host::Load();
    EXPECT_EQ(document.value("holder", ""), "child");
    EXPECT_EQ(host::AcMinProcessorState(), 20u);
    for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

TEST_F(HostStateTest, HolderThatDiesLeavesNoLockBehind) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        host::Update([&](nlohmann::json&) {
            char byte = 1;
            if (write(ready[1], &byte, 1) != 1) std::_Exit(2);
            std::_Exit(0);  // ended in the middle of its change, as by Ctrl+C
        });
        std::_Exit(3);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    host::SetAcMinProcessorState(30);  // would wait for ever if the dead holder kept the lock
    EXPECT_EQ(host::AcMinProcessorState(), 30u);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(HostStateTest, WideNamesKeepCharactersBeyondAscii) {
    host::AddProcess(L"Caf\u00e9\U0001F600.exe", 1);
    EXPECT_EQ(host::Processes().at(0).name, L"Caf\u00e9\U0001F600.exe");
    host::RegistrySetString(RegistryView::k32, kUtilityKey, L"Name", L"\U0001F600x");
    EXPECT_EQ(host::RegistryGetString(RegistryView::k32, kUtilityKey, L"Name"), L"\U0001F600x");
}

}  // namespace

TEST_F(HostStateTest, SettingAMissingEventCreatesNothingAndARestartClearsEverySignal) {
    EXPECT_FALSE(sim::host::SetNamedEvent(L"Global\\Missing_1"));
    EXPECT_FALSE(sim::host::Load().contains("events"));
    sim::host::CreateNamedEvent(L"Global\\Close_1");
    ASSERT_TRUE(sim::host::SetNamedEvent(L"Global\\Close_1"));
    sim::host::ResetNamedEvents();
    EXPECT_EQ(sim::host::NamedEventSignalled(L"Global\\Close_1"), false);
    EXPECT_EQ(sim::host::NamedEventSetCount(L"Global\\Close_1"), 1u);
}
