// The judgement of a card's version read again after its play.
#include "app/programming/card_verification.h"

#include <gtest/gtest.h>

namespace {

TEST(CardVerification, OnlyAReadableVersionPasses) {
    EXPECT_EQ(JudgeVersionAfterProgramming(L"1.4.2"), VersionAfterProgramming::kReadable);
    EXPECT_EQ(JudgeVersionAfterProgramming(L"0.0.000"), VersionAfterProgramming::kUnreadable);
    EXPECT_EQ(JudgeVersionAfterProgramming(L""), VersionAfterProgramming::kUnreadable);
    EXPECT_EQ(JudgeVersionAfterProgramming(L"255.255.255"), VersionAfterProgramming::kErased);
}

// Silence after the play fails a card only when it answered before; erased always fails.
TEST(CardVerification, ACardThatNeverAnsweredIsNotVerifiedRatherThanFailed) {
    EXPECT_EQ(VerifyCardAfterPlay(true, L"1.4.2"), CardVerification::kVerified);
    EXPECT_EQ(VerifyCardAfterPlay(false, L"1.4.2"), CardVerification::kVerified);
    EXPECT_EQ(VerifyCardAfterPlay(true, L"0.0.000"), CardVerification::kFailed);
    EXPECT_EQ(VerifyCardAfterPlay(false, L"0.0.000"), CardVerification::kNotVerified);
    EXPECT_EQ(VerifyCardAfterPlay(true, L"255.255.255"), CardVerification::kFailed);
    EXPECT_EQ(VerifyCardAfterPlay(false, L"255.255.255"), CardVerification::kFailed);
}

}  // namespace
