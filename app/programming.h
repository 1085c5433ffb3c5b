// Programs every card at once, one worker per card, with one progress line for all.
#pragma once

#include <cstdint>

#include "xsvf/device_update.h"

class CKSeries;
struct tagPciInfo;

struct tagProgrammingJob {
    CKSeries** cards;
    tagDeviceUpdate* records;
    const tagPciInfo* pciInfo;  // bus positions for the log's failure lines
    std::uint32_t cardCount;
    bool beep;
};

// Runs the programming step and returns the exit code it decides: 0, or the result of the last card
// (in index order) that failed. A record whose updateResult is already nonzero is not programmed
// and is reported with that result. Returns when every worker has ended.
std::int32_t ProgramAllCards(const tagProgrammingJob& job);

// The result of a card whose register aperture could not be mapped: it is listed but never
// programmed. Above every code of the player, so it names this cause alone.
inline constexpr std::int32_t kUnmappedCardResult = 7;

// How often the progress line refreshes (a busy pause, no sleep).
inline constexpr std::uint32_t kProgressRefreshMilliseconds = 250;
