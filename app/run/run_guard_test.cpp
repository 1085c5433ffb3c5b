// The run's top-level handler: an escaping exception still puts the power setting back.
#include "app/run/run_guard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "app/host/host_services.h"
#include "simhost/host_state.h"

namespace {

class RunGuardTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("ovn-run-guard-" + std::to_string(getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        setenv("OVN_SIM_STATE", dir_.c_str(), 1);
        unsetenv("LOCALAPPDATA");
        sim::host::SetAcMinProcessorState(30);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Runs `run` under the guard after the host was prepared; returns the console output.
    template <typename Run>
    std::string Guarded(Run run, int& exitCode) {
        testing::internal::CaptureStdout();
        exitCode = RunPuttingTheHostBackOnFailure(
            [&] {
                services_.PrepareHost();
                EXPECT_EQ(sim::host::AcMinProcessorState(), 100u);
                return run();
            },
            [this] { return &services_; });
        return testing::internal::GetCapturedStdout();
    }

    std::filesystem::path dir_;
    CHostServices services_;
};

TEST_F(RunGuardTest, FailedAllocationRestoresThePowerSettingAndSaysWhy) {
    int exitCode = 0;
    const std::string console = Guarded([]() -> int { throw std::bad_alloc(); }, exitCode);
    EXPECT_EQ(exitCode, kRunStoppedExitCode);
    EXPECT_EQ(sim::host::AcMinProcessorState(), 30u);
    EXPECT_NE(console.find("   Error: The update stopped: std::bad_alloc.\n"), std::string::npos)
        << console;
}

TEST_F(RunGuardTest, ThreadThatCannotStartRestoresThePowerSetting) {
    int exitCode = 0;
    Guarded(
        []() -> int {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                    "thread");
        },
        exitCode);
    EXPECT_EQ(exitCode, kRunStoppedExitCode);
    EXPECT_EQ(sim::host::AcMinProcessorState(), 30u);
}

TEST_F(RunGuardTest, AfterARestartHasBegunThePowerSettingIsLeftToIt) {
    int exitCode = 0;
    Guarded(
        [this]() -> int {
            services_.rebootStarted =
                true;  // RebootNow restored it already; the run may not write it again
            sim::host::SetAcMinProcessorState(55);
            throw std::bad_alloc();
        },
        exitCode);
    EXPECT_EQ(exitCode, kRunStoppedExitCode);
    EXPECT_EQ(sim::host::AcMinProcessorState(), 55u);
}

// A failure before the run has its host services (the options, the run lock) has no power setting
// to put back and still reports and ends as any other.
TEST_F(RunGuardTest, AFailureBeforeTheHostServicesExistStillEndsWithItsCode) {
    testing::internal::CaptureStdout();
    const int exitCode = RunPuttingTheHostBackOnFailure([]() -> int { throw std::bad_alloc(); },
                                                        [] { return nullptr; });
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(exitCode, kRunStoppedExitCode);
    EXPECT_EQ(sim::host::AcMinProcessorState(), 30u);
    EXPECT_NE(console.find("   Error: The update stopped: std::bad_alloc.\n"), std::string::npos)
        << console;
}

TEST_F(RunGuardTest, ARunThatEndsNormallyKeepsItsExitCode) {
    int exitCode = 0;
    Guarded([] { return 4; }, exitCode);
    EXPECT_EQ(exitCode, 4);
}

// What the run holds lives outside the guarded steps: after an exception the handler frees it,
// once, with the power setting already back; a run that ends normally frees its own.
TEST_F(RunGuardTest, TheRunsHoldingsAreReleasedAfterThePowerSettingOnFailureOnly) {
    int releases = 0;
    std::uint32_t powerAtRelease = 0;
    auto release = [&] {
        ++releases;
        powerAtRelease = sim::host::AcMinProcessorState();
    };
    testing::internal::CaptureStdout();
    auto services = [this] { return &services_; };
    int exitCode = RunPuttingTheHostBackOnFailure(
        [this]() -> int {
            services_.PrepareHost();
            throw std::bad_alloc();
        },
        services, release);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(exitCode, kRunStoppedExitCode);
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(powerAtRelease, 30u);

    exitCode = RunPuttingTheHostBackOnFailure([] { return 0; }, services, release);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(releases, 1);
}

}  // namespace
