// Programs every card at once, one detached worker per card, with one progress line for all.
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
// (in index order) that failed.
std::int32_t ProgramAllCards(const tagProgrammingJob& job);

// How often the progress line refreshes (a busy pause, no sleep).
inline constexpr std::uint32_t kProgressRefreshMilliseconds = 250;
