// Host services against the simulated host: power raised and put back, desktop core closed,
// restart.
#include "app/host/host_services.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "simhost/host_state.h"

namespace {

namespace host = sim::host;
using Clock = std::chrono::steady_clock;

constexpr wchar_t kCore[] = L"Orvane.Plux.Core.exe";

class HostServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A death-test child re-runs the test in a new process: it must use the parent's state.
        if (GTEST_FLAG_GET(internal_run_death_test).empty()) {
            auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            auto dir = std::filesystem::temp_directory_path() /
                       ("ovn-host-services-" + std::to_string(getpid()) + "-" + info->name());
            std::filesystem::remove_all(dir);
            setenv("OVN_SIM_STATE", dir.c_str(), 1);
        }
    }
    void TearDown() override {
        if (GTEST_FLAG_GET(internal_run_death_test).empty()) {
            std::filesystem::remove_all(host::StateDirectory());
        }
    }

    // Fresh for every test, as the run's context has its own.
    CHostServices services;
};

TEST_F(HostServicesTest, AJournalledOriginalWinsAndAnUnreadableOneIsNeitherRaisedNorWritten) {
    // A cut-off run left the setting at 100 and its original in the journal.
    host::SetAcMinProcessorState(100);
    std::vector<std::uint32_t> recorded;
    tagPowerOrigin origin;
    origin.journalled = 12;
    origin.record = [&](std::uint32_t value) { recorded.push_back(value); };
    services.PrepareHost(origin);
    EXPECT_TRUE(recorded.empty());
    services.RestorePowerSettings();
    EXPECT_EQ(host::AcMinProcessorState(), 12u);

    // Without a journal the value read is recorded before the raise.
    services.savedMinProcessorStateKnown = false;
    origin.journalled.reset();
    origin.record = [&](std::uint32_t value) {
        recorded.push_back(value);
        EXPECT_EQ(host::AcMinProcessorState(), 12u) << "recorded after the raise";
    };
    services.PrepareHost(origin);
    EXPECT_EQ(recorded, std::vector<std::uint32_t>{12});
    services.RestorePowerSettings();

    // The power calls fail: nothing is raised, and the restore writes nothing (it used to write 0).
    services.savedMinProcessorStateKnown = false;
    services.savedMinProcessorState = 0;
    host::SetPowerAvailable(false);
    services.PrepareHost();
    services.RestorePowerSettings();
    host::SetPowerAvailable(true);
    EXPECT_EQ(host::AcMinProcessorState(), 12u);
}

TEST_F(HostServicesTest, ARefusedRestartIsReportedAndLeavesNoRestartStarted) {
    host::SetRestartRefused(true);
    EXPECT_EQ(services.RebootNow(), 5u);
    EXPECT_FALSE(services.rebootStarted.load());
    EXPECT_TRUE(host::Restarts().empty());
    host::SetRestartRefused(false);
    EXPECT_EQ(services.RebootNow(), 0u);
    EXPECT_TRUE(services.rebootStarted.load());
    EXPECT_EQ(host::Restarts().size(), 1u);
}

TEST_F(HostServicesTest, PrepareHostRaisesToFullAndRestoreBringsThePreviousValueBack) {
    host::SetAcMinProcessorState(37);

    services.PrepareHost();
    EXPECT_EQ(services.savedMinProcessorState, 37u);
    EXPECT_EQ(host::AcMinProcessorState(), 100u);
    EXPECT_EQ(host::AppliedMinProcessorState(), 100u);
    EXPECT_EQ(host::ExecutionState(), 0x80000041u);
    EXPECT_EQ(host::PriorityClass(), 0x80u);

    services.RestorePowerSettings();
    EXPECT_EQ(host::AcMinProcessorState(), 37u);
    EXPECT_EQ(host::AppliedMinProcessorState(), 37u);
}

TEST_F(HostServicesTest, UntouchedMachineStartsAtFivePercent) {
    services.PrepareHost();
    services.RestorePowerSettings();
    EXPECT_EQ(services.savedMinProcessorState, 5u);
    EXPECT_EQ(host::AcMinProcessorState(), 5u);
}

// As under Wine: without the power calls nothing is read, so nothing (least of all 0) is written.
TEST_F(HostServicesTest, MissingPowerCallsLeaveTheSettingAlone) {
    host::SetAcMinProcessorState(25);
    host::SetPowerAvailable(false);

    services.PrepareHost();
    services.RestorePowerSettings();
    EXPECT_EQ(services.activeScheme, nullptr);
    EXPECT_EQ(host::AcMinProcessorState(), 25u);
    EXPECT_EQ(host::ApplyCount(), 0u);
}

TEST_F(HostServicesTest, RebootNowRestoresPowerBeforeAskingForAnImmediateForcedRestart) {
    host::SetAcMinProcessorState(20);
    int window = 0;
    services.PrepareHost();
    services.consoleWindow = &window;

    services.RebootNow();
    EXPECT_EQ(services.consoleWindow.load(), nullptr);
    EXPECT_TRUE(services.rebootStarted.load());
    auto restarts = host::Restarts();
    ASSERT_EQ(restarts.size(), 1u);
    EXPECT_EQ(restarts[0].timeoutSeconds, 0u);
    EXPECT_TRUE(restarts[0].forceAppsClosed);
    EXPECT_TRUE(restarts[0].reboot);
    EXPECT_TRUE(restarts[0].privilegeEnabled);
    EXPECT_EQ(restarts[0].acMinProcessorState, 20u);
}

TEST_F(HostServicesTest, ConsoleControlRestoresPowerRunsTheCleanUpAndExitsWithOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    host::SetAcMinProcessorState(42);
    EXPECT_EXIT(
        {
            services.PrepareHost();
            services.SetCleanupRoutine([](CHostServices*, bool fromConsoleControl) {
                std::fprintf(stderr, "clean-up %d power %u\n", fromConsoleControl ? 1 : 0,
                             host::AcMinProcessorState());
            });
            OnConsoleControl(0);
        },
        ::testing::ExitedWithCode(1), "clean-up 1 power 42");
    EXPECT_EQ(host::AcMinProcessorState(), 42u);
    EXPECT_EQ(host::AppliedMinProcessorState(), 42u);
}

// The handler may run before the run's thread has raised the setting: a raise that comes after the
// handler's restore must not happen, or the process would end with the setting at 100.
TEST_F(HostServicesTest, RaiseAfterTheConsoleControlRestoreNeverHappens) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    host::SetAcMinProcessorState(42);
    EXPECT_EXIT(
        {
            // The handler reaches these host services before PrepareHost made them its own.
            SetConsoleControlHost(&services);
            services.SetCleanupRoutine([](CHostServices* late, bool) {
                late->PrepareHost();  // the run's thread, late
                std::fprintf(stderr, "power after late raise %u\n", host::AcMinProcessorState());
            });
            OnConsoleControl(0);
        },
        ::testing::ExitedWithCode(1), "power after late raise 42");
    EXPECT_EQ(host::AcMinProcessorState(), 42u);
}

TEST_F(HostServicesTest, CtrlCDuringTheRunRestoresPowerAndExitsWithOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    host::SetAcMinProcessorState(42);
    EXPECT_EXIT(
        {
            services.PrepareHost();
            services.SetCleanupRoutine([](CHostServices*, bool fromConsoleControl) {
                std::fprintf(stderr, "clean-up %d\n", fromConsoleControl ? 1 : 0);
            });
            // Busy like the main thread in the middle of a run when the operator presses Ctrl+C.
            std::thread worker([] {
                for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            });
            worker.detach();
            kill(getpid(), SIGINT);
            // However long the handler takes on a loaded machine, only it may end the process.
            for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
        },
        ::testing::ExitedWithCode(1), "clean-up 1");
    EXPECT_EQ(host::AcMinProcessorState(), 42u);
}

// Host services that have ended are out of the handler's reach: a later event ends the process
// without restoring from them or running their clean-up.
TEST_F(HostServicesTest, AConsoleEventAfterTheHostServicesEndedOnlyEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    host::SetAcMinProcessorState(42);
    EXPECT_EXIT(
        {
            {
                CHostServices ended;
                ended.PrepareHost();
                ended.SetCleanupRoutine([](CHostServices*, bool) {
                    std::fprintf(stderr, "clean-up of ended host services\n");
                    std::fflush(stderr);
                    std::abort();
                });
            }
            OnConsoleControl(0);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(host::AcMinProcessorState(), 100u);
}

// The handler works on the host services PrepareHost made its own, not on others the process has.
TEST_F(HostServicesTest, ConsoleControlRestoresFromTheHostServicesThatPreparedTheHost) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    host::SetAcMinProcessorState(42);
    EXPECT_EXIT(
        {
            services.PrepareHost();
            CHostServices other;
            other.savedMinProcessorState = 7;
            other.savedMinProcessorStateKnown = true;
            services.SetCleanupRoutine([](CHostServices* reached, bool) {
                std::fprintf(stderr, "saved %u\n", reached->savedMinProcessorState);
            });
            OnConsoleControl(0);
        },
        ::testing::ExitedWithCode(1), "saved 42");
    EXPECT_EQ(host::AcMinProcessorState(), 42u);
}

// The pause stands in for the 200 ms sleep; the window is cleared during the third one.
TEST_F(HostServicesTest, KeepConsoleInFrontPausesTwoHundredMillisecondsUntilTheWindowIsCleared) {
    int window = 0;
    services.consoleWindow = &window;
    std::vector<std::uint32_t> pauses;
    services.KeepConsoleInFrontWith([this, &pauses](std::uint32_t milliseconds) {
        pauses.push_back(milliseconds);
        if (pauses.size() == 3) services.consoleWindow = nullptr;
    });
    EXPECT_EQ(pauses, (std::vector<std::uint32_t>{200, 200, 200}));
}

TEST_F(HostServicesTest, KeepConsoleInFrontThreadEndsOnceTheWindowIsCleared) {
    int window = 0;
    services.consoleWindow = &window;
    std::thread keeper([this] { services.KeepConsoleInFront(); });
    services.consoleWindow = nullptr;
    keeper.join();
    EXPECT_EQ(services.consoleWindow.load(), nullptr);
}

// The run starts the keeper on its host services; their end stops it and waits for it, so it never
// reads a window that is gone.
TEST_F(HostServicesTest, TheKeepInFrontThreadEndsWithItsHostServices) {
    int window = 0;
    auto keeping = std::make_unique<CHostServices>();
    keeping->StartKeepingConsoleInFront(&window);
    EXPECT_EQ(keeping->consoleWindow.load(), &window);
    keeping.reset();  // joins the keeper; a keeper left running would be reported by the sanitizers
    SUCCEED();
}

// Only a lower bound: a loaded machine may let the sleep run long, never short.
TEST_F(HostServicesTest, SleepMillisecondsLastsAtLeastItsLength) {
    auto start = Clock::now();
    SleepMilliseconds(30);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
}

TEST_F(HostServicesTest, CloseEventsAreSetOnlyInSessionsThatHaveOne) {
    host::SetSessions({0, 1, 2, 3});
    host::CreateNamedEvent(L"Global\\OvnPluxCoreCloseEvent_0");
    host::CreateNamedEvent(L"Global\\OvnPluxCoreCloseEvent_2");
    host::CreateNamedEvent(L"Global\\OvnPluxCoreCloseEvent1");

    SignalDesktopCoreClose();
    EXPECT_EQ(host::NamedEventSignalled(L"Global\\OvnPluxCoreCloseEvent_0"), true);
    EXPECT_EQ(host::NamedEventSignalled(L"Global\\OvnPluxCoreCloseEvent_2"), true);
    EXPECT_EQ(host::NamedEventSetCount(L"Global\\OvnPluxCoreCloseEvent_2"), 1u);
    EXPECT_EQ(host::NamedEventSignalled(L"Global\\OvnPluxCoreCloseEvent1"), false);
    EXPECT_EQ(host::NamedEventSignalled(L"Global\\OvnPluxCoreCloseEvent_1"), std::nullopt);
}

TEST_F(HostServicesTest, FailedSessionEnumerationSignalsNothing) {
    host::SetSessionEnumerationFails(true);
    host::CreateNamedEvent(L"Global\\OvnPluxCoreCloseEvent_1");
    SignalDesktopCoreClose();
    EXPECT_EQ(host::NamedEventSignalled(L"Global\\OvnPluxCoreCloseEvent_1"), false);
}

// Records the pauses a call asks for instead of sleeping through them.
struct PauseRecorder {
    std::vector<std::uint32_t> pauses;
    HostPause Pause() {
        return [this](std::uint32_t milliseconds) { pauses.push_back(milliseconds); };
    }
};

TEST_F(HostServicesTest, TerminateDesktopCoreWithoutCoreTakesOnePass) {
    host::AddProcess(L"explorer.exe", 1);
    PauseRecorder recorder;
    services.TerminateDesktopCore(kDesktopCorePassLimit, recorder.Pause());
    EXPECT_EQ(recorder.pauses, (std::vector<std::uint32_t>{2000}));
    EXPECT_EQ(host::TerminateAttempts(), 0u);
    EXPECT_EQ(host::Processes().size(), 1u);
}

TEST_F(HostServicesTest, TerminateDesktopCoreEndsEveryCoreButNotOtherSpellings) {
    host::AddProcess(kCore, 1);
    host::AddProcess(L"orvane.plux.core.exe", 1);
    host::AddProcess(kCore, 2);
    PauseRecorder recorder;
    services.TerminateDesktopCore(kDesktopCorePassLimit, recorder.Pause());
    // The pass that ends both cores, then the pass that finds none.
    EXPECT_EQ(recorder.pauses, (std::vector<std::uint32_t>{2000, 2000}));
    EXPECT_EQ(host::TerminateAttempts(), 2u);
    auto left = host::Processes();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, L"orvane.plux.core.exe");
}

std::wstring logged;
void CaptureLog(const wchar_t* message) { logged += message; }

TEST_F(HostServicesTest, TerminateDesktopCoreGivesUpAfterItsPassLimitAndSaysSo) {
    host::AddProcess(kCore, 1, /*unkillable=*/true);
    logged.clear();
    services.SetHostServicesLog(CaptureLog);

    PauseRecorder recorder;
    services.TerminateDesktopCore(2, recorder.Pause());
    EXPECT_EQ(recorder.pauses, (std::vector<std::uint32_t>{2000, 2000}));
    EXPECT_EQ(host::TerminateAttempts(), 2u);
    EXPECT_EQ(host::Processes().size(), 1u);
    EXPECT_EQ(logged, L"   Orvane.Plux.Core.exe could not be terminated after 2 attempts.\n");
}

}  // namespace
