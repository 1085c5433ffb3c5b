// What each card runs after programming: its FPGA version read again and judged.
#pragma once

#include <cstdint>
#include <string>

// The result of a card whose play succeeded but whose FPGA version afterwards cannot be read or
// reads as erased: the card does not run a configuration anyone can name. Above the player's
// codes, the unmapped card's 7 and the run's own 8.
inline constexpr std::int32_t kUnverifiedCardResult = 9;

// The text of a version read that failed (GetFpgaVersion's answer without an I2C reply).
inline constexpr const wchar_t* kUnreadableVersion = L"0.0.000";
// The text of a version device that reads all ones, as an erased configuration memory does.
inline constexpr const wchar_t* kErasedVersion = L"255.255.255";

enum class VersionAfterProgramming { kReadable, kUnreadable, kErased };

VersionAfterProgramming JudgeVersionAfterProgramming(const std::wstring& version);

// "unreadable" or "erased"; empty for a readable version.
const wchar_t* VersionProblemWord(VersionAfterProgramming judgement);
