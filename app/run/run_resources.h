// What the update run owns for its cards and image, and the clean-up shared with the
// console-control handler.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/programming/programming.h"

class CDisplayDriverCycle;
class CHostServices;

struct tagRunResources {
    // One per card in scan order, made once for the listing: the slots never move afterwards.
    std::vector<tagCardSlot> cards;
    std::unique_ptr<std::uint8_t[]> image;  // the whole XSVF file, read-only for the workers
    std::int32_t imageSize = 0;             // 0: no image loaded

    // An empty slot for each of `count` cards, the previous ones released first.
    void MakeCardSlots(std::uint32_t count);
    void ClearImage();
    // Frees the image, the cards and their records.
    void Release();
};

// Sets the host's console window to null (host null: the run has none yet) and shows the cursor;
// from the console-control path the cards' plays are stopped and waited for (StopCardPlays), then
// the display is brought back (only once they have stopped). It frees nothing: from the
// console-control path workers may still be reading the run's data and the process ends at once
// anyway, and the run frees its own.
void CleanUpRun(CHostServices* host, bool fromConsoleControl);

// The driver cycle that brings the display back when the run is interrupted or stopped by a
// failure; RecoverDisplay calls it from any thread, at most once. Null: nothing to bring back.
void SetDisplayRecovery(CDisplayDriverCycle* cycle);
void RecoverDisplay();

// How long the console-control path waits for the plays to stop, on the process clock: a player
// looks at the stop between commands and inside long ones, so this is only reached by a register
// access that never returns.
inline constexpr std::uint32_t kPlayStopLimitMilliseconds = 10000;
// The display driver must not take the card back while a worker still drives its JTAG pins: the
// plays are asked to stop, and this returns true once no card's registers are in use; false at
// the limit, said on the console and in the log, and then the display driver stays disabled.
bool StopCardPlays();
