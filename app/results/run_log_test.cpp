// The log's header and closing lines.
#include "app/results/run_log.h"

#include <gtest/gtest.h>

namespace {

TEST(RunLogFrame, HeaderAndClosingNameTheRunTimeVersionAccountOutcomeAndExitCode) {
    const std::wstring header =
        RunLogHeader("6f85466b2b3131bf369643ae65f6293f", "2026-12-08T11:44:39Z");
    EXPECT_EQ(header.rfind(L"==== Run 6f85466b2b3131bf369643ae65f6293f started "
                           L"2026-12-08T11:44:39Z: OvnK740FpgaUpdater 1.0.0.21, user SIMHOST\\User "
                           L"(elevated), command line: ",
                           0),
              0u)
        << header.c_str();
    EXPECT_EQ(header.find(L'\n'), std::wstring::npos);

    EXPECT_EQ(
        RunLogClosing("6f85466b2b3131bf369643ae65f6293f", "2026-12-08T11:44:53Z", "failed", 2),
        L"==== Run 6f85466b2b3131bf369643ae65f6293f ended 2026-12-08T11:44:53Z: outcome "
        L"failed, exit code 2");
}

}  // namespace
