// The per-card summary after the programming step, with the advice for each kind of failure.
#include "app/run/card_summary.h"

#include <cwchar>

#include "app/console/console_log.h"
#include "app/console/exit_codes.h"
#include "app/programming/card_verification.h"
#include "text/text_encoding.h"

namespace {

// What a failed card's code means and what the operator does about it.
std::wstring FailureAdvice(std::int32_t code, VersionAfterProgramming after) {
    switch (code) {
        case 2:
        case 3:
            return L"TDO mismatch: check that the image is for this card, then run the update "
                   L"again";
        case 4:
            return L"illegal command or truncated image: get the image again, then run the update "
                   L"again";
        case 5:
            return L"illegal TAP state in the image: get a correct image for this card";
        case 6:
            return L"a shift in the image is too long: get a correct image for this card";
        case kUnmappedCardResult:
            return L"not programmed, its register window is not mapped: check the card's resources "
                   L"in the Device Manager, restart, then run the update again";
        case kUnverifiedCardResult:
            return std::wstring(after == VersionAfterProgramming::kErased
                                    ? L"the FPGA reads as erased after the play"
                                    : L"version unreadable after the play") +
                   L": run the update again before restarting the machine";
        default:
            return L"the play failed: run the update again";
    }
}

std::wstring Outcome(const tagCardResult& card) {
    if (!card.result) return L"not programmed";
    if (*card.result == 0) {
        return card.verification == kNotVerified
                   ? L"ok, not verified: the card reports no version before or after the play"
                   : L"ok";
    }
    return L"failed with error code " + std::to_wstring(*card.result) + L", " +
           FailureAdvice(*card.result,
                         JudgeVersionAfterProgramming(Utf8ToWide(card.versionAfter.value_or(""))));
}

}  // namespace

std::wstring CardSummaryLine(const tagCardResult& card) {
    wchar_t position[32];
    std::swprintf(position, 32, L"0x%02X%X%X", card.bus, card.device, card.function);
    const std::wstring after = card.versionAfter ? Utf8ToWide(*card.versionAfter) : L"unchanged";
    return L"   Result for PCIe Bus: " + std::wstring(position) + L"   FPGA version: " +
           Utf8ToWide(card.versionBefore) + L" -> " + after + L"   " + Outcome(card) + L"\n";
}

void PrintCardSummary(const std::vector<tagCardResult>& cards) {
    for (const tagCardResult& card : cards) PrintAndLog(L"%ls", CardSummaryLine(card).c_str());
}
