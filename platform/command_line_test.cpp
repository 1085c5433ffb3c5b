// Reading command lines as Windows does: the unquoted-path candidates and the argument rules.
#include "platform/command_line.h"

#include <gtest/gtest.h>

using platform::JoinArguments;
using platform::ProgramCandidates;
using platform::SplitArguments;

TEST(CommandLine, UnquotedPathsAreTriedUpToEachBlankThenWhole) {
    auto candidates = ProgramCandidates(L"C:\\Program Files\\Suite\\Cmd.exe /export C:\\t.txt");
    ASSERT_EQ(candidates.size(), 4u);
    EXPECT_EQ(candidates[0].program, L"C:\\Program");
    EXPECT_EQ(candidates[0].rest, L"Files\\Suite\\Cmd.exe /export C:\\t.txt");
    EXPECT_EQ(candidates[1].program, L"C:\\Program Files\\Suite\\Cmd.exe");
    EXPECT_EQ(candidates[1].rest, L"/export C:\\t.txt");
    auto quoted = ProgramCandidates(L"\"C:\\Program Files\\a.exe\"  -f x");
    ASSERT_EQ(quoted.size(), 1u);
    EXPECT_EQ(quoted[0].program, L"C:\\Program Files\\a.exe");
    EXPECT_EQ(quoted[0].rest, L"-f x");
    EXPECT_TRUE(ProgramCandidates(L"").empty());
}

TEST(CommandLine, ArgumentsSplitByTheRuntimeRulesAndJoinBackToTheSameList) {
    EXPECT_EQ(SplitArguments(L"-f  \"a b.xsvf\" c\\d \"e\\\"f\" g\\\\\"h i\""),
              (std::vector<std::wstring>{L"-f", L"a b.xsvf", L"c\\d", L"e\"f", L"g\\h i"}));
    const std::vector<std::wstring> tricky{L"plain",     L"with blank", L"",
                                           L"quote\"in", L"ends\\",     L"dir with blank\\"};
    EXPECT_EQ(SplitArguments(JoinArguments(tricky)), tricky);
    EXPECT_EQ(JoinArguments({L"a", L"b"}), L"a b");
    EXPECT_EQ(platform::QuoteIfBlank(L"C:\\a b"), L"\"C:\\a b\"");
    EXPECT_EQ(platform::QuoteIfBlank(L"C:\\ab"), L"C:\\ab");
}
