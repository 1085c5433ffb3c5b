// What each card runs after programming: its FPGA version read again and judged.
#pragma once

#include <cstdint>
#include <string>

#include "app/console/exit_codes.h"

// The text of a version read that failed (GetFpgaVersion's answer without an I2C reply).
inline constexpr const wchar_t* kUnreadableVersion = L"0.0.000";
// The text of a version device that reads all ones, as an erased configuration memory does.
inline constexpr const wchar_t* kErasedVersion = L"255.255.255";

enum class VersionAfterProgramming { kReadable, kUnreadable, kErased };

VersionAfterProgramming JudgeVersionAfterProgramming(const std::wstring& version);

// "unreadable" or "erased"; empty for a readable version.
const wchar_t* VersionProblemWord(VersionAfterProgramming judgement);

// The judgement on a card whose play ended without error.
enum class CardVerification {
    kVerified,     // its version names itself after the play
    kNotVerified,  // its version device answered neither before nor after: nothing to judge by
    kFailed,       // it answered before but not after, or it reads as erased: kUnverifiedCardResult
};

// answeredBefore: the listing read a version (any but kUnreadableVersion); `after` is read again
// after the settling pause.
CardVerification VerifyCardAfterPlay(bool answeredBefore, const std::wstring& after);
