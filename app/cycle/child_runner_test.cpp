// Child processes with real child programs: exit codes, collection limits, full pipes, timed waits.
#include "app/cycle/child_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/cycle/display_driver.h"
#include "text/text_encoding.h"

namespace {

std::wstring Child(const std::string& arguments) {
    return Utf8ToWide(std::string(OVN_CHILD_DOUBLE) + " " + arguments);
}

// Every test's children record their commands in a state directory of their own.
class ChildRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::filesystem::temp_directory_path() /
                 ("ovn-child-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(state_);
        setenv("OVN_SIM_STATE", state_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(state_); }
    std::filesystem::path state_;
};

// A clock that jumps by a fixed step on every reading: a timed wait ends after a known number of
// slices, however slow the machine is.
tagWaitClock JumpingClock(std::uint32_t step) {
    auto now = std::make_shared<std::uint32_t>(0);
    return {[now, step]() { return *now += step; }, 1};
}

}  // namespace

TEST_F(ChildRunnerTest, ExitCodesAreReadAndAChildThatCannotStartCounts42) {
    CChildRunner runner;
    ASSERT_TRUE(runner.PipeReady());
    EXPECT_EQ(runner.RunAndWait(Child("print 10 ok 7")), 7u);
    EXPECT_EQ(runner.RunAndWait(Child("print 0 x 0")), 0u);
    EXPECT_EQ(runner.RunAndWait(L"/nonexistent/dec740.exe disable \"x\""), kNoExitCode);
    EXPECT_EQ(runner.RunAndCollect(L"/nonexistent/dec740.exe driverfiles \"x\""), "");
}

TEST_F(ChildRunnerTest, CollectionKeepsTheFirst65535BytesAndNeverWaitsForMore) {
    CChildRunner runner;
    // 70,000 bytes: the marker only after the first 65,535 is not seen.
    const std::string output = runner.RunAndCollect(Child("print 70000 xyz 0"));
    EXPECT_EQ(output.size(), kCollectedOutputLimit);
    EXPECT_EQ(output.substr(0, 6), "xyzxyz");
    // What is left over does not reach the next collection.
    EXPECT_EQ(runner.RunAndCollect(Child("print 5 amd 0")), "amdam");
    bool started = false;
    EXPECT_EQ(runner.RunAndCollect(Child("print 12 information 0"), &started), "informationi");
    EXPECT_TRUE(started);
    runner.RunAndCollect(L"/nonexistent/dec740.exe driverfiles \"x\"", &started);
    EXPECT_FALSE(started);
}

TEST_F(ChildRunnerTest, ChildrenWhoseOutputNobodyReadsNeverBlockOnAFullPipe) {
    CChildRunner runner;
    // Far more than any pipe buffer, several times in a row.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(runner.RunAndWait(Child("print 400000 z 3")), 3u);
    EXPECT_EQ(runner.RunAndCollect(Child("print 3 ati 0")), "ati");
}

TEST_F(ChildRunnerTest, ATimedWaitGivesUpAtItsLimitAndLeavesTheChildRunning) {
    const std::filesystem::path alive = state_ / "alive";
    std::ofstream(alive) << "x";
    CChildRunner runner(JumpingClock(2500));
    // Exactly the clock's readings decide: 2500, 5000, 7500, 10000 after the start at 2500.
    EXPECT_EQ(runner.RunAndWait(Child("hang-while " + alive.string()), 10000), kNoExitCode);

    // The seam itself: a running child has no exit code; ended, it has its own.
    platform::ChildOutputPipe pipe;
    auto started = platform::ChildProcess::Start(Child("hang-while " + alive.string()), pipe);
    ASSERT_TRUE(started) << started.error().call << " failed with " << started.error().code;
    auto& child = *started;
    const auto endedEarly = child->HasEnded();
    ASSERT_TRUE(endedEarly.ok()) << endedEarly.error().call << " failed with "
                                 << endedEarly.error().code;
    EXPECT_FALSE(*endedEarly);
    const auto running = child->ExitCode();
    ASSERT_FALSE(running.ok()) << "a running child had the exit code " << *running;
    EXPECT_EQ(running.error().code, platform::kChildStillActive) << running.error().call;
    std::filesystem::remove(alive);  // lets both children end
    for (;;) {
        const auto ended = child->WaitMilliseconds(1000);
        ASSERT_TRUE(ended.ok()) << ended.error().call << " failed with " << ended.error().code;
        if (*ended) break;
    }
    const auto code = child->ExitCode();
    ASSERT_TRUE(code.ok()) << code.error().call << " failed with " << code.error().code;
    EXPECT_EQ(*code, 0u);
}

TEST_F(ChildRunnerTest, AToolCommandPastItsLimitIsEndedAndHasNoCode) {
    // The jumping clock passes the limit after a known number of readings; a child that never
    // ends would otherwise keep both calls waiting for ever.
    CChildRunner runner(JumpingClock(2500));
    bool started = false;
    std::uint32_t code = 0;
    EXPECT_EQ(runner.RunAndCollect(Child("hang"), &started, &code, 10000), "");
    EXPECT_TRUE(started);
    EXPECT_EQ(code, kNoExitCode);
    EXPECT_EQ(runner.RunAndWait(Child("hang"), 10000, CChildRunner::AtLimit::kEnd), kNoExitCode);

    // A child that ends in time gives its code and its output (this clock never passes a limit).
    CChildRunner steady(JumpingClock(0));
    EXPECT_EQ(steady.RunAndCollect(Child("print 5 amd 3"), &started, &code, 10000), "amdam");
    EXPECT_EQ(code, 3u);
}
