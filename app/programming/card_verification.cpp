// Judging the FPGA version a card reports after its play.
#include "app/programming/card_verification.h"

VersionAfterProgramming JudgeVersionAfterProgramming(const std::wstring& version) {
    if (version == kUnreadableVersion || version.empty())
        return VersionAfterProgramming::kUnreadable;
    if (version == kErasedVersion) return VersionAfterProgramming::kErased;
    return VersionAfterProgramming::kReadable;
}

const wchar_t* VersionProblemWord(VersionAfterProgramming judgement) {
    switch (judgement) {
        case VersionAfterProgramming::kUnreadable:
            return L"unreadable";
        case VersionAfterProgramming::kErased:
            return L"erased";
        default:
            return L"";
    }
}

CardVerification VerifyCardAfterPlay(bool answeredBefore, const std::wstring& after) {
    switch (JudgeVersionAfterProgramming(after)) {
        case VersionAfterProgramming::kReadable:
            return CardVerification::kVerified;
        case VersionAfterProgramming::kErased:
            return CardVerification::kFailed;
        default:
            // A card that never answered cannot prove anything by its silence afterwards.
            return answeredBefore ? CardVerification::kFailed : CardVerification::kNotVerified;
    }
}
