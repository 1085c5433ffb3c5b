// The messages for a failure on the way to the driver: the step, the call, the system's error.
#include "app/console/driver_access_report.h"

#include <gtest/gtest.h>

namespace {

TEST(DriverAccessReport, SquattedObjectsAreNamedWithWhatToDo) {
    const std::wstring mutex = DriverAccessFailureText(
        {DriverAccessStep::kMutexSquatted, ovn::CallError("", 0), "Global\\OvnVxdWrapMutex"}, L"");
    EXPECT_EQ(mutex,
              L"   Error: The mutex Global\\OvnVxdWrapMutex was created by a program without "
              L"administrator rights, which could hold it to block this utility.\n"
              L"   Close the program that created it, or restart Windows, and run the utility "
              L"again.\n");
    // Refused when opened: the call and its error are kept.
    const std::wstring block =
        DriverAccessFailureText({DriverAccessStep::kBlockSquatted,
                                 ovn::CallError("CreateFileMappingA", 5), "Global\\OvnVxdWrapData"},
                                L"Access is denied.");
    EXPECT_EQ(block.rfind(L"   Error: The shared block Global\\OvnVxdWrapData was created by a "
                          L"program without administrator rights, which could write it: "
                          L"CreateFileMappingA failed with error 5: Access is denied.\n",
                          0),
              0u);
}

TEST(DriverAccessReport, InstallationStepsNameTheFileOrKeyAndTheError) {
    EXPECT_EQ(
        DriverAccessFailureText({DriverAccessStep::kInstallFile, ovn::CallError("CreateFileA", 5),
                                 "C:\\Windows\\System32\\drivers\\OvnVxd.sys"},
                                L"Access is denied."),
        L"   Error: Unable to install the driver-access component "
        L"C:\\Windows\\System32\\drivers\\OvnVxd.sys: CreateFileA failed with error 5: "
        L"Access is denied.\n");
    // A registry step reports a code without a call; a code the system has no text for stays a
    // number.
    EXPECT_EQ(DriverAccessFailureText(
                  {DriverAccessStep::kUninstallEntry, ovn::CallError("", 1021), "HKLM\\X"}, L""),
              L"   Error: Unable to create the uninstall entry HKLM\\X: error 1021.\n");
}

TEST(DriverAccessReport, DriverStepsFollowTheLibrarysFailedCall) {
    const auto text = [](const char* call, std::uint32_t code) {
        return DriverAccessFailureText(
            {DriverAccessStep::kDriver, ovn::CallError(call, code), "OvnVxd"}, L"");
    };
    EXPECT_EQ(text("StartServiceW", 1275),
              L"   Error: The driver-access library could not start its driver OvnVxd.sys: "
              L"StartServiceW failed with error 1275.\n");
    EXPECT_NE(text("StartServiceW", 577).find(L"not signed for this system"), std::wstring::npos);
    EXPECT_NE(text("OpenSCManagerW", 5).find(L"could not open the service control manager"),
              std::wstring::npos);
    EXPECT_NE(text("CreateFileW", 2).find(L"could not open its driver's device: CreateFileW"),
              std::wstring::npos);
    EXPECT_NE(text("SomethingElseW", 1).find(L"could not reach its driver: SomethingElseW"),
              std::wstring::npos);
}

}  // namespace
