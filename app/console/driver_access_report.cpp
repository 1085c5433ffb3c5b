// Messages for a driver-access library that cannot be opened or cannot reach its driver.
#include "app/console/driver_access_report.h"

#include <string_view>

#include "app/console/console_log.h"
#include "platform/system_error.h"
#include "text/text_encoding.h"

namespace {

// What a system error means to the operator when the driver is refused: its signature.
constexpr std::uint32_t kInvalidImageHash = 577;

std::wstring Wide(const std::string& text) { return Utf8ToWide(text); }

// The failed step in words: the first part of the message.
std::wstring StepText(const tagDriverAccessFailure& failure) {
    const std::wstring subject = Wide(failure.subject);
    switch (failure.step) {
        case DriverAccessStep::kNone:
            break;
        case DriverAccessStep::kMutexUnavailable:
            return L"Unable to create or open the mutex " + subject;
        case DriverAccessStep::kMutexSquatted:
            return L"The mutex " + subject +
                   L" was created by a program without administrator rights, which could hold "
                   L"it to block this utility";
        case DriverAccessStep::kMutexBusy:
            return L"Another program has held the mutex " + subject + L" for more than 4 seconds";
        case DriverAccessStep::kMutexAbandoned:
            return L"A program ended while it held the mutex " + subject;
        case DriverAccessStep::kBlockUnavailable:
            return L"Unable to create or open the shared block " + subject;
        case DriverAccessStep::kBlockSquatted:
            return L"The shared block " + subject +
                   L" was created by a program without administrator rights, which could write it";
        case DriverAccessStep::kBlockMap:
            return L"Unable to map the shared block " + subject;
        case DriverAccessStep::kPlatform:
            return L"The driver-access components do not exist for this processor architecture";
        case DriverAccessStep::kInstallFile:
            return L"Unable to install the driver-access component " + subject;
        case DriverAccessStep::kUninstallEntry:
            return L"Unable to create the uninstall entry " + subject;
        case DriverAccessStep::kLoadLibrary:
            return L"Unable to load the driver-access library " + subject;
        case DriverAccessStep::kDriver: {
            const std::string_view call = failure.error.call;
            if (call == "OpenSCManagerW")
                return L"The driver-access library could not open the service control manager";
            if (call == "OpenServiceW")
                return L"The driver-access library could not open its driver's service " + subject;
            if (call == "CreateServiceW")
                return L"The driver-access library could not create its driver's service " +
                       subject;
            if (call == "ChangeServiceConfigW")
                return L"The driver-access library could not configure its driver's service " +
                       subject;
            if (call == "StartServiceW")
                return L"The driver-access library could not start its driver " + subject + L".sys";
            if (call == "CreateFileW")
                return L"The driver-access library could not open its driver's device";
            return L"The driver-access library could not reach its driver";
        }
    }
    return L"The driver-access library could not be opened";
}

// What the operator can do about it, when there is something; an empty text otherwise.
std::wstring Advice(const tagDriverAccessFailure& failure) {
    switch (failure.step) {
        case DriverAccessStep::kMutexSquatted:
        case DriverAccessStep::kBlockSquatted:
            return L"   Close the program that created it, or restart Windows, and run the utility "
                   L"again.\n";
        case DriverAccessStep::kMutexBusy:
        case DriverAccessStep::kMutexAbandoned:
            return L"   Run the utility again when no other copy of it is running.\n";
        case DriverAccessStep::kDriver:
            if (failure.error.code == kInvalidImageHash) {
                return L"   Windows accepts only signed drivers here; the driver is not signed for "
                       L"this system.\n";
            }
            return {};
        default:
            return {};
    }
}

}  // namespace

std::wstring DriverAccessFailureText(const tagDriverAccessFailure& failure,
                                     const std::wstring& systemText) {
    std::wstring text = L"   Error: " + StepText(failure);
    if (!failure.error.call.empty()) {
        text += L": " + Wide(failure.error.call) + L" failed with error " +
                std::to_wstring(failure.error.code);
    } else if (failure.error.code != 0) {
        text += L": error " + std::to_wstring(failure.error.code);
    }
    text += systemText.empty() || (failure.error.call.empty() && failure.error.code == 0)
                ? L".\n"
                : L": " + systemText + L"\n";
    return text + Advice(failure);
}

void ReportDriverAccessFailure(const tagDriverAccessFailure& failure) {
    const std::wstring systemText =
        failure.error.code != 0 ? platform::SystemErrorText(failure.error.code) : std::wstring();
    PrintAndLog(L"%ls", DriverAccessFailureText(failure, systemText).c_str());
}
