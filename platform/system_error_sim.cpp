// The simulated host's texts for the Windows error codes its simulated failures report.
#include "platform/system_error.h"

namespace platform {

std::wstring SystemErrorText(std::uint32_t code) {
    switch (code) {
        case 2:
            return L"The system cannot find the file specified.";
        case 5:
            return L"Access is denied.";
        case 126:
            return L"The specified module could not be found.";
        case 577:
            return L"Windows cannot verify the digital signature for this file. A recent hardware "
                   L"or software change might have installed a file that is signed incorrectly or "
                   L"damaged, or that might be malicious software from an unknown source.";
        case 1058:
            return L"The service cannot be started, either because it is disabled or because it "
                   L"has no enabled devices associated with it.";
        default:
            return {};
    }
}

}  // namespace platform
